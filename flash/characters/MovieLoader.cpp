// The tag loop: definitions go into the dictionary, control tags into the
// frames of the timeline they belong to (the root's, or a sprite's).

#include "flash/characters/Movie.h"
#include "flash/characters/Parsers.h"

#include <algorithm>

namespace showsaver::flash {
namespace {

enum Tag : int {
    kEnd = 0, kShowFrame = 1, kDefineShape = 2, kPlaceObject = 4, kRemoveObject = 5, kDefineBits = 6,
    kDefineButton = 7, kJpegTables = 8, kSetBackgroundColor = 9, kDefineFont = 10, kDefineText = 11,
    kDoAction = 12, kDefineSound = 14, kStartSound = 15, kSoundStreamHead = 18, kSoundStreamBlock = 19,
    kDefineBitsLossless = 20, kDefineBitsJpeg2 = 21, kDefineShape2 = 22, kPlaceObject2 = 26,
    kRemoveObject2 = 28, kDefineShape3 = 32, kDefineText2 = 33, kDefineButton2 = 34, kDefineBitsJpeg3 = 35,
    kDefineBitsLossless2 = 36, kDefineEditText = 37, kDefineSprite = 39, kFrameLabel = 43,
    kSoundStreamHead2 = 45, kDefineMorphShape = 46, kDefineFont2 = 48, kPlaceObject3 = 70,
    kDefineFont3 = 75, kDefineFontInfo = 13, kDefineFontInfo2 = 62, kExportAssets = 56, kDoInitAction = 59,
    kDefineVideoStream = 60, kVideoFrame = 61, kDefineBitsJpeg4 = 90, kSymbolClass = 76, kDefineShape4 = 83,
    kDefineMorphShape2 = 84, kStartSound2 = 89,
};

struct TagHeader {
    int code = 0;
    std::span<const uint8_t> body;
};

// Short form: code << 6 | length; a length of 0x3F means a u32 follows. A
// tag whose length runs past the data ends the tag list.
std::optional<TagHeader> NextTag(Reader& r) {
    if (r.Remaining() < 2) return std::nullopt;
    uint16_t word = r.U16();
    size_t length = word & 0x3F;
    if (length == 0x3F) length = r.U32();
    if (r.Failed() || length > r.Remaining()) return std::nullopt;
    return TagHeader{word >> 6, r.Take(length)};
}

class Loader {
public:
    Loader(Movie& movie, MemoryBudget& budget) : m_movie(movie), m_budget(budget) {}

    void ReadTimeline(Reader& r, Timeline& timeline, int declaredFrames, int nesting) {
        Frame frame;
        while (auto tag = NextTag(r)) {
            if (tag->code == kEnd) break;
            if (tag->code == kShowFrame) {
                timeline.frames.push_back(std::move(frame));
                frame = Frame{};
                continue;
            }
            Reader body(tag->body);
            if (!Control(*tag, body, timeline, frame) && nesting == 0) Definition(*tag, body, nesting);
        }
        // Commands after the last ShowFrame still belong to a frame; a
        // timeline shorter than its header is padded with empty frames.
        if (!frame.commands.empty() || !frame.actions.empty()) timeline.frames.push_back(std::move(frame));
        while (static_cast<int>(timeline.frames.size()) < declaredFrames && m_budget.Charge(sizeof(Frame)))
            timeline.frames.emplace_back();
        if (timeline.frames.empty()) timeline.frames.emplace_back();
    }

private:
    void Warn(int code, const std::string& why) {
        if (m_movie.warnings.size() < 100) m_movie.warnings.push_back("tag " + std::to_string(code) + ": " + why);
    }

    // A tag that acts on the timeline; false for every other tag.
    bool Control(const TagHeader& tag, Reader& body, Timeline& timeline, Frame& frame) {
        switch (tag.code) {
        case kPlaceObject:
        case kPlaceObject2:
        case kPlaceObject3:
            if (auto place = ParsePlace(body, tag.code); place && m_budget.Charge(sizeof(FrameCommand))) {
                if (place->hasClipActions) place->clipActions = ReadClipActions(body);
                frame.commands.push_back({FrameCommand::Kind::Place, std::move(*place)});
            }
            else
                Warn(tag.code, "broken placement");
            return true;
        case kRemoveObject:
        case kRemoveObject2: {
            if (tag.code == kRemoveObject) body.U16();
            FrameCommand remove{FrameCommand::Kind::Remove, {}};
            remove.place.depth = body.U16();
            if (!body.Failed() && m_budget.Charge(sizeof(FrameCommand))) frame.commands.push_back(remove);
            return true;
        }
        case kDoInitAction:
            body.U16();   // the sprite's id: its actions run once, before the first frame's
            if (m_budget.Charge(tag.body.size())) {
                auto code = body.Rest();
                m_movie.initActions.emplace_back(code.begin(), code.end());
            }
            return true;
        case kDoAction:
            if (m_budget.Charge(tag.body.size())) frame.actions.emplace_back(tag.body.begin(), tag.body.end());
            return true;
        case kFrameLabel: {
            std::string label = body.String();
            if (!body.Failed() && m_budget.Charge(label.size() + 64))
                timeline.labels.emplace(label, static_cast<int>(timeline.frames.size()));
            return true;
        }
        case kStartSound:
        case kStartSound2:
            StartSound(tag.code, body, frame);
            return true;
        case kVideoFrame:
            VideoFrame(body);
            return true;
        case kSoundStreamHead:
        case kSoundStreamHead2:
            timeline.stream = ParseStreamHead(body);
            return true;
        case kSoundStreamBlock:
            if (m_budget.Charge(tag.body.size() + sizeof(std::vector<uint8_t>))) {
                frame.streamBlock = timeline.streamBlocks.size();
                timeline.streamBlocks.emplace_back(tag.body.begin(), tag.body.end());
            }
            return true;
        default:
            return false;
        }
    }

    void StartSound(int code, Reader& body, Frame& frame) {
        SoundStart start;
        if (code == kStartSound2) {
            std::string name = body.String();
            if (body.Failed() || m_soundClasses.size() >= kMaxNames || !m_budget.Charge(name.size() + 32)) return;
            start.className = static_cast<int32_t>(m_soundClasses.size());
            m_soundClasses.push_back(std::move(name));
        } else {
            start.id = body.U16();
        }
        uint8_t flags = body.U8();
        start.stop = (flags & 0x20) != 0;
        start.noMultiple = (flags & 0x10) != 0;
        if (flags & 0x01) body.U32();
        if (flags & 0x02) body.U32();
        if (flags & 0x04) start.loops = std::max<uint16_t>(body.U16(), 1);
        if (!body.Failed() && m_budget.Charge(sizeof(SoundStart))) frame.sounds.push_back(start);
    }

public:
    // StartSound2 names its sound by class; SymbolClass, anywhere in the
    // movie, gives the class's character. Sounds it does not name are dropped.
    void ResolveSoundClasses(Timeline& timeline) {
        for (Frame& frame : timeline.frames) {
            for (SoundStart& start : frame.sounds) {
                if (start.className < 0) continue;
                auto it = m_symbols.find(m_soundClasses[static_cast<size_t>(start.className)]);
                start.id = it == m_symbols.end() ? 0 : it->second;
                if (it == m_symbols.end()) start.className = -2;
            }
            std::erase_if(frame.sounds, [](const SoundStart& s) { return s.className == -2; });
        }
    }

private:
    static constexpr size_t kMaxNames = 65536;

    void SymbolClass(Reader& body) {
        size_t count = body.U16();
        for (size_t i = 0; i < count && !body.Failed() && m_symbols.size() < kMaxNames; ++i) {
            uint16_t id = body.U16();
            std::string name = body.String();
            if (body.Failed() || !m_budget.Charge(name.size() + 64)) return;
            m_symbols.emplace(std::move(name), id);
        }
    }

    // A frame's packet joins its stream, whichever timeline carries it.
    void VideoFrame(Reader& body) {
        uint16_t id = body.U16(), number = body.U16();
        auto data = body.Rest();
        auto it = m_movie.characters.find(id);
        if (body.Failed() || it == m_movie.characters.end() || it->second->kind != CharacterKind::Video)
            return Warn(kVideoFrame, "a frame of no video stream");
        auto& video = static_cast<VideoCharacter&>(*it->second);
        if (video.frames.count(number) || !m_budget.Charge(data.size() + 64))
            return Warn(kVideoFrame, "a video frame repeated or past the memory budget");
        video.frames.emplace(number, std::vector<uint8_t>(data.begin(), data.end()));
    }

    void Definition(const TagHeader& tag, Reader& body, int nesting);
    ClipActions ReadClipActions(Reader& r);
    void DefineCharacter(int code, uint16_t id, Reader& body, int nesting, std::string& error);
    void DefineSound(Reader& body);
    StreamHead ParseStreamHead(Reader& body);

    Movie& m_movie;
    MemoryBudget& m_budget;
    std::vector<uint8_t> m_jpegTables;
    bool m_backgroundSet = false;
    std::vector<std::string> m_soundClasses;
    std::map<std::string, uint16_t> m_symbols;
};

SoundInfo ReadSoundInfo(uint8_t flags) {
    static constexpr int kRates[] = {5512, 11025, 22050, 44100};
    SoundInfo info;
    int format = flags >> 4;
    info.format = format <= 3 ? static_cast<SoundFormat>(format) : SoundFormat::Unknown;
    info.rate = kRates[(flags >> 2) & 3];
    info.sixteenBit = (flags & 2) != 0;
    info.stereo = (flags & 1) != 0;
    return info;
}

StreamHead Loader::ParseStreamHead(Reader& body) {
    body.U8();   // the playback format, which the mixer decides
    StreamHead head;
    head.info = ReadSoundInfo(body.U8());
    head.samplesPerFrame = body.U16();
    return head;
}

void Loader::DefineSound(Reader& body) {
    auto sound = std::make_unique<SoundData>();
    uint16_t id = body.U16();
    sound->info = ReadSoundInfo(body.U8());
    sound->sampleCount = body.U32();
    auto data = body.Rest();
    if (body.Failed() || !m_budget.Charge(data.size() + sizeof(SoundData))) return Warn(kDefineSound, "broken sound");
    sound->data.assign(data.begin(), data.end());
    m_movie.soundIds[id] = m_movie.sounds.size();
    m_movie.sounds.push_back(std::move(sound));
}

// onClipEvent handlers: all events' bits, then records of event bits,
// size and actions up to a record of no events. The bits take 16 bits
// before version 6, 32 from then on.
ClipActions Loader::ReadClipActions(Reader& r) {
    auto actions = std::make_shared<std::vector<ClipAction>>();
    bool wide = m_movie.header.version >= 6;
    auto events = [&] { return wide ? r.U32() : r.U16(); };
    r.U16();
    events();
    for (int i = 0; i < 1024 && !r.Failed(); ++i) {
        uint32_t which = events();
        if (which == 0 || r.Failed()) break;
        size_t size = r.U32();
        auto code = r.Take(size);
        if (r.Failed() || !m_budget.Charge(size + sizeof(ClipAction))) break;
        if (which & 0x20000) code = code.subspan(std::min<size_t>(1, code.size()));   // a key press's key code
        actions->push_back({which, std::vector<uint8_t>(code.begin(), code.end())});
    }
    if (actions->empty()) return nullptr;
    return actions;
}

void Loader::Definition(const TagHeader& tag, Reader& body, int nesting) {
    switch (tag.code) {
    case kSetBackgroundColor:
        // The first one sets the stage's colour for good.
        if (auto c = body.ReadRgb(); !body.Failed() && !m_backgroundSet) m_movie.background = c, m_backgroundSet = true;
        return;
    case kJpegTables:
        if (m_budget.Charge(tag.body.size())) m_jpegTables.assign(tag.body.begin(), tag.body.end());
        return;
    case kDefineSound:
        return DefineSound(body);
    case kSymbolClass:
        return SymbolClass(body);
    case kExportAssets: {
        size_t count = body.U16();
        for (size_t i = 0; i < count && !body.Failed(); ++i) {
            uint16_t id = body.U16();
            std::string name = body.String();
            if (!body.Failed() && m_budget.Charge(name.size() + 64)) m_movie.exports[name] = id;
        }
        return;
    }
    default:
        break;
    }
    uint16_t id = body.U16();
    if (body.Failed()) return;
    if (tag.code == kDefineFontInfo || tag.code == kDefineFontInfo2) {
        auto it = m_movie.characters.find(id);
        if (it != m_movie.characters.end() && it->second->kind == CharacterKind::Font)
            ParseFontInfo(body, tag.code, static_cast<FontCharacter&>(*it->second), m_budget);
        return;
    }
    std::string error;
    DefineCharacter(tag.code, id, body, nesting, error);
    if (!error.empty()) Warn(tag.code, error);
}

void Loader::DefineCharacter(int code, uint16_t id, Reader& body, int nesting, std::string& error) {
    std::unique_ptr<Character> made;
    switch (code) {
    case kDefineShape: made = ParseShape(body, 1, m_budget, error); break;
    case kDefineShape2: made = ParseShape(body, 2, m_budget, error); break;
    case kDefineShape3: made = ParseShape(body, 3, m_budget, error); break;
    case kDefineShape4: made = ParseShape(body, 4, m_budget, error); break;
    case kDefineMorphShape: made = ParseMorph(body, 1, m_budget, error); break;
    case kDefineMorphShape2: made = ParseMorph(body, 2, m_budget, error); break;
    case kDefineBits:
    case kDefineBitsJpeg2:
    case kDefineBitsJpeg3:
    case kDefineBitsJpeg4: made = ParseJpegBitmap(body, code, m_jpegTables, m_budget, error); break;
    case kDefineBitsLossless:
    case kDefineBitsLossless2: made = ParseLosslessBitmap(body, code, m_budget, error); break;
    case kDefineFont:
    case kDefineFont2:
    case kDefineFont3: made = ParseFont(body, code, m_budget, error); break;
    case kDefineText:
    case kDefineText2: made = ParseText(body, code, m_budget, error); break;
    case kDefineEditText: made = ParseEditText(body, error); break;
    case kDefineVideoStream: made = ParseVideoStream(body, error); break;
    case kDefineButton:
    case kDefineButton2: made = ParseButton(body, code, m_budget, error); break;
    case kDefineSprite: {
        auto sprite = std::make_unique<SpriteCharacter>();
        sprite->frameCount = body.U16();
        ReadTimeline(body, sprite->timeline, std::min(sprite->frameCount, 16000), nesting + 1);
        made = std::move(sprite);
        break;
    }
    default:
        return;   // tags we do not play (DoABC among them) are skipped by their length
    }
    if (made && error.empty()) m_movie.characters[id] = std::move(made);
}

} // namespace

std::optional<PlaceCommand> ParsePlace(Reader& r, int code) {
    PlaceCommand place;
    if (code == kPlaceObject) {
        place.character = r.U16();
        place.depth = r.U16();
        place.matrix = r.ReadMatrix();
        if (!r.AtEnd()) place.color = r.ReadColorTransform(false);
        if (r.Failed()) return std::nullopt;
        return place;
    }
    uint8_t flags = r.U8();
    uint8_t flags3 = code == kPlaceObject3 ? r.U8() : 0;
    place.depth = r.U16();
    place.move = (flags & 0x01) != 0;
    if ((flags3 & 0x08) || ((flags3 & 0x10) && (flags & 0x02))) r.String();   // class name
    if (flags & 0x02) place.character = r.U16();
    if (flags & 0x04) place.matrix = r.ReadMatrix();
    if (flags & 0x08) place.color = r.ReadColorTransform(true);
    if (flags & 0x10) place.ratio = r.U16();
    if (flags & 0x20) place.name = r.String();
    if (flags & 0x40) place.clipDepth = r.U16();
    if (flags3 & 0x01) {
        std::vector<Filter> filters;
        if (!ParseFilters(r, filters)) return std::nullopt;
        place.filters = std::move(filters);
    }
    if (flags3 & 0x02) place.blend = ToBlendMode(r.U8());
    if (flags3 & 0x04) place.cacheAsBitmap = r.U8() != 0;
    if (flags3 & 0x20) r.U8();     // visibility, of later players' movies
    if (flags3 & 0x40) r.Skip(4);  // an opaque background, of later players' movies
    // The clip actions come last; the loader reads them from here.
    place.hasClipActions = (flags & 0x80) != 0;
    if (r.Failed()) return std::nullopt;
    return place;
}

double Movie::FramesPerSecond() const {
    if (header.frameRate <= 0) return 12;
    return std::clamp(header.frameRate, 1.0, 120.0);
}

std::unique_ptr<Movie> LoadMovie(std::span<const uint8_t> file, std::string& error) {
    MemoryBudget budget(file.size());
    auto body = UnpackMovie(file, budget, error);
    if (!body) return nullptr;
    auto movie = std::make_unique<Movie>();
    movie->header = body->header;
    Reader r(std::span<const uint8_t>(body->bytes).subspan(body->header.tagsOffset));
    Loader loader(*movie, budget);
    loader.ReadTimeline(r, movie->root, std::min(movie->header.frameCount, 16000), 0);
    loader.ResolveSoundClasses(movie->root);
    for (auto& [id, character] : movie->characters)
        if (character->kind == CharacterKind::Sprite) loader.ResolveSoundClasses(static_cast<SpriteCharacter&>(*character).timeline);
    movie->spareBytes = budget.Limit() - budget.Used();
    return movie;
}

} // namespace showsaver::flash
