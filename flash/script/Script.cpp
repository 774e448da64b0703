#include "flash/script/Script.h"

#include "flash/script/Vm.h"

#include <utility>

namespace showsaver::flash {

ScriptMachine::ScriptMachine(const Movie& movie, PlayheadRegistry& registry, Playhead& root)
    : m_vm(std::make_unique<script::Vm>(movie, registry, root)) {}

ScriptMachine::~ScriptMachine() = default;

void ScriptMachine::Step(std::vector<PendingActions>& actions, double elapsedMs) { m_vm->RunStep(actions, elapsedMs, true); }

void ScriptMachine::RunActions(std::vector<PendingActions>& actions) { m_vm->RunStep(actions, 0, false); }

bool ScriptMachine::Quit() const { return m_vm->quit; }

std::string ScriptMachine::TakeRootLoad() { return std::exchange(m_vm->rootLoad, {}); }

bool ScriptMachine::Abandoned() const { return m_vm->abandoned; }

ScriptSounds& ScriptMachine::Sounds() { return m_vm->sounds; }

void ScriptMachine::SetTextMeasure(std::function<std::pair<double, double>(const TextCharacter&)> measure) {
    m_vm->measureText = std::move(measure);
}

void ScriptMachine::SetContentLoader(ContentLoader loader) { m_vm->loadContent = std::move(loader); }

void ScriptMachine::SetTrace(std::function<void(const std::string&)> trace) { m_vm->trace = std::move(trace); }

void ScriptMachine::SetPainter(BitmapPainter painter) { m_vm->painter = std::move(painter); }

} // namespace showsaver::flash
