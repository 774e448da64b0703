// Draws the demo show's pictures with cairo and writes them with our own
// codec, and composes its music, so that the demo needs no file from
// anywhere else:
//   make_pictures OUTDIR
// writes sunrise.jpg, harbour.jpg, mosaic.bmp, badge.bmp and tune.mid into
// OUTDIR, fireflies.swf, a Flash animation written with the tests' movie
// writer, and lighthouse.rgb: the frames of a short film as raw RGB rows
// (kFilmWidth × kFilmHeight, kFilmFrames of them), which the build encodes
// into lighthouse.avi with the ffmpeg command.

#include "codec/Codec.h"
#include "flash/Avm1Assembler.h"
#include "flash/SwfWriter.h"
#include "gfx/Surface.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

namespace {

using namespace showsaver;
using DrawFunction = std::function<void(cairo_t*, int w, int h)>;

constexpr double kPi = 3.14159265358979323846;

codec::RgbImage Draw(int w, int h, const DrawFunction& draw) {
    gfx::Surface surface(w, h);
    {
        gfx::CairoSurfacePtr target = surface.CreateCairoSurface();
        gfx::CairoPtr cr(cairo_create(target.get()));
        draw(cr.get(), w, h);
        cairo_surface_flush(target.get());
    }
    return codec::XrgbToRgb(surface.Row(0), w, h, static_cast<size_t>(surface.Stride()));
}

void Gradient(cairo_t* cr, double x0, double y0, double x1, double y1,
              std::initializer_list<std::array<double, 4>> stops) {
    cairo_pattern_t* pattern = cairo_pattern_create_linear(x0, y0, x1, y1);
    for (const auto& s : stops) cairo_pattern_add_color_stop_rgb(pattern, s[0], s[1], s[2], s[3]);
    cairo_set_source(cr, pattern);
    cairo_pattern_destroy(pattern);
}

// A sun rising over rolling hills.
void Sunrise(cairo_t* cr, int w, int h) {
    Gradient(cr, 0, 0, 0, h, {{0, 0.10, 0.12, 0.35}, {0.55, 0.95, 0.55, 0.30}, {1, 1.0, 0.85, 0.55}});
    cairo_paint(cr);
    cairo_pattern_t* glow = cairo_pattern_create_radial(w * 0.5, h * 0.62, 10, w * 0.5, h * 0.62, w * 0.45);
    cairo_pattern_add_color_stop_rgba(glow, 0, 1, 0.95, 0.7, 0.9);
    cairo_pattern_add_color_stop_rgba(glow, 1, 1, 0.6, 0.3, 0);
    cairo_set_source(cr, glow);
    cairo_paint(cr);
    cairo_pattern_destroy(glow);
    cairo_set_source_rgb(cr, 1.0, 0.92, 0.55);
    cairo_arc(cr, w * 0.5, h * 0.62, h * 0.13, 0, 2 * kPi);
    cairo_fill(cr);
    const double shades[][3] = {{0.16, 0.32, 0.20}, {0.10, 0.24, 0.14}, {0.05, 0.15, 0.09}};
    for (int layer = 0; layer < 3; ++layer) {
        double base = h * (0.66 + 0.11 * layer);
        cairo_move_to(cr, 0, h);
        for (int x = 0; x <= w; x += 4)
            cairo_line_to(cr, x, base - h * 0.05 * std::sin(x * (0.011 + 0.004 * layer) + layer * 1.7));
        cairo_line_to(cr, w, h);
        cairo_close_path(cr);
        cairo_set_source_rgb(cr, shades[layer][0], shades[layer][1], shades[layer][2]);
        cairo_fill(cr);
    }
}

// Sailing boats on a harbour at dusk.
void Harbour(cairo_t* cr, int w, int h) {
    Gradient(cr, 0, 0, 0, h * 0.6, {{0, 0.28, 0.18, 0.45}, {1, 0.95, 0.62, 0.52}});
    cairo_rectangle(cr, 0, 0, w, h * 0.6);
    cairo_fill(cr);
    Gradient(cr, 0, h * 0.6, 0, h, {{0, 0.20, 0.30, 0.50}, {1, 0.04, 0.08, 0.20}});
    cairo_rectangle(cr, 0, h * 0.6, w, h * 0.4);
    cairo_fill(cr);
    cairo_set_source_rgba(cr, 1, 0.85, 0.7, 0.5);
    cairo_set_line_width(cr, 2);
    for (int i = 0; i < 12; ++i) {
        double y = h * (0.64 + 0.03 * i);
        cairo_move_to(cr, w * (0.3 + 0.02 * i), y);
        cairo_line_to(cr, w * (0.7 - 0.02 * i), y);
        cairo_stroke(cr);
    }
    for (int boat = 0; boat < 3; ++boat) {
        double bx = w * (0.18 + 0.3 * boat), by = h * (0.62 + 0.04 * boat), s = h * (0.18 - 0.03 * boat);
        cairo_set_source_rgb(cr, 0.12, 0.08, 0.06);
        cairo_move_to(cr, bx - s * 0.6, by);
        cairo_line_to(cr, bx + s * 0.6, by);
        cairo_line_to(cr, bx + s * 0.45, by + s * 0.18);
        cairo_line_to(cr, bx - s * 0.45, by + s * 0.18);
        cairo_close_path(cr);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.98, 0.96, 0.9);
        cairo_move_to(cr, bx, by - s * 1.1);
        cairo_line_to(cr, bx, by - s * 0.05);
        cairo_line_to(cr, bx + s * 0.5, by - s * 0.05);
        cairo_close_path(cr);
        cairo_fill(cr);
    }
}

// A tile of coloured rings, for tiling the screen.
void Mosaic(cairo_t* cr, int w, int h) {
    cairo_set_source_rgb(cr, 0.08, 0.10, 0.22);
    cairo_paint(cr);
    const double colours[][3] = {{0.95, 0.45, 0.25}, {0.25, 0.65, 0.85}, {0.95, 0.85, 0.3}, {0.45, 0.8, 0.45}};
    for (int ring = 0; ring < 4; ++ring) {
        cairo_set_source_rgb(cr, colours[ring][0], colours[ring][1], colours[ring][2]);
        cairo_set_line_width(cr, w * 0.05);
        cairo_arc(cr, w * 0.5, h * 0.5, w * (0.12 + 0.1 * ring), 0, 2 * kPi);
        cairo_stroke(cr);
    }
}

// A small round badge for the corners.
void Badge(cairo_t* cr, int w, int h) {
    cairo_set_source_rgb(cr, 0.08, 0.10, 0.22);
    cairo_paint(cr);
    cairo_pattern_t* ball = cairo_pattern_create_radial(w * 0.4, h * 0.35, 2, w * 0.5, h * 0.5, w * 0.5);
    cairo_pattern_add_color_stop_rgb(ball, 0, 1, 1, 0.85);
    cairo_pattern_add_color_stop_rgb(ball, 1, 0.9, 0.35, 0.15);
    cairo_set_source(cr, ball);
    cairo_arc(cr, w * 0.5, h * 0.5, w * 0.46, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(ball);
}

struct Picture {
    const char* name;
    int w, h;
    void (*draw)(cairo_t*, int, int);
};

// A MIDI variable-length number.
void PutNumber(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t bytes[5];
    int count = 0;
    do {
        bytes[count++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value);
    while (count--) out.push_back(static_cast<uint8_t>(bytes[count] | (count ? 0x80 : 0)));
}

// Eight bars of a calm tune: a melody on a vibraphone over soft string
// chords, 480 ticks a beat at 100 beats a minute, as a type-0 MIDI file.
std::vector<uint8_t> Tune() {
    struct Event {
        uint32_t tick;
        std::vector<uint8_t> data;
    };
    std::vector<Event> events = {{0, {0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0}},   // 600,000 µs a beat
                                 {0, {0xC0, 11}},                              // vibraphone
                                 {0, {0xC1, 49}}};                             // strings
    const int chords[4][3] = {{48, 55, 64}, {45, 52, 60}, {41, 48, 57}, {43, 50, 59}};   // C, Am, F, G
    const int melody[8][4] = {{64, 67, 72, 67}, {69, 67, 64, 60}, {65, 69, 72, 69}, {67, 62, 59, 62},
                              {64, 67, 72, 76}, {72, 69, 64, 69}, {65, 72, 69, 65}, {67, 71, 74, 72}};
    constexpr uint32_t kBeat = 480;
    for (uint32_t bar = 0; bar < 8; ++bar) {
        uint32_t start = bar * 4 * kBeat;
        for (int note : chords[bar % 4]) {
            events.push_back({start, {0x91, uint8_t(note), 50}});
            events.push_back({start + 4 * kBeat - 10, {0x81, uint8_t(note), 0}});
        }
        for (uint32_t beat = 0; beat < 4; ++beat) {
            uint8_t note = uint8_t(melody[bar][beat]);
            events.push_back({start + beat * kBeat, {0x90, note, 90}});
            events.push_back({start + beat * kBeat + kBeat - 20, {0x80, note, 0}});
        }
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.tick < b.tick; });
    events.push_back({events.back().tick, {0xFF, 0x2F, 0x00}});
    std::vector<uint8_t> track;
    uint32_t now = 0;
    for (const Event& event : events) {
        PutNumber(track, event.tick - now);
        now = event.tick;
        track.insert(track.end(), event.data.begin(), event.data.end());
    }
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<uint8_t>(track.size() >> shift));
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

constexpr int kFilmWidth = 240, kFilmHeight = 160, kFilmFrames = 48;

// A lighthouse at night whose beam sweeps once round in `kFilmFrames`
// frames; `turn` runs from 0 to 1.
void Lighthouse(cairo_t* cr, int w, int h, double turn) {
    Gradient(cr, 0, 0, 0, h, {{0, 0.02, 0.03, 0.12}, {1, 0.10, 0.14, 0.32}});
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.9, 0.9, 0.8);
    for (int i = 0; i < 24; ++i) {
        const double x = (i * 97 % w), y = (i * 53 % (h / 2));
        cairo_arc(cr, x, y, (i % 3) * 0.4 + 0.5, 0, 2 * kPi);
        cairo_fill(cr);
    }
    // The beam: a fan from the lamp, brighter at the lamp, seen widest
    // when it points at us.
    const double lampX = w * 0.3, lampY = h * 0.38;
    const double angle = turn * 2 * kPi;
    const double spread = 0.12 + 0.1 * std::max(0.0, std::sin(angle));
    cairo_pattern_t* beam = cairo_pattern_create_radial(lampX, lampY, 2, lampX, lampY, w);
    cairo_pattern_add_color_stop_rgba(beam, 0, 1, 0.95, 0.6, 0.85);
    cairo_pattern_add_color_stop_rgba(beam, 1, 1, 0.95, 0.6, 0);
    cairo_set_source(cr, beam);
    cairo_move_to(cr, lampX, lampY);
    cairo_arc(cr, lampX, lampY, w * 1.5, std::cos(angle) * kPi / 2 - spread, std::cos(angle) * kPi / 2 + spread);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_pattern_destroy(beam);
    // Sea and rock.
    Gradient(cr, 0, h * 0.72, 0, h, {{0, 0.05, 0.12, 0.30}, {1, 0.02, 0.05, 0.15}});
    cairo_rectangle(cr, 0, h * 0.72, w, h * 0.28);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.12, 0.10, 0.10);
    cairo_move_to(cr, w * 0.12, h * 0.76);
    cairo_curve_to(cr, w * 0.2, h * 0.66, w * 0.4, h * 0.66, w * 0.48, h * 0.76);
    cairo_close_path(cr);
    cairo_fill(cr);
    // The tower, striped, with its lamp.
    for (int band = 0; band < 4; ++band) {
        const double top = h * (0.42 + band * 0.07), bottom = top + h * 0.07;
        const double inset = (top - h * 0.42) * 0.12;
        band % 2 ? cairo_set_source_rgb(cr, 0.85, 0.15, 0.15) : cairo_set_source_rgb(cr, 0.95, 0.95, 0.92);
        cairo_move_to(cr, lampX - w * 0.035 - inset, top);
        cairo_line_to(cr, lampX + w * 0.035 + inset, top);
        cairo_line_to(cr, lampX + w * 0.035 + inset + h * 0.008, bottom);
        cairo_line_to(cr, lampX - w * 0.035 - inset - h * 0.008, bottom);
        cairo_close_path(cr);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 1, 0.95, 0.65);
    cairo_arc(cr, lampX, lampY, w * 0.025, 0, 2 * kPi);
    cairo_fill(cr);
}

// The snow's script: the first time frame 0 runs, forty copies of the
// flake, each given a place, a size and a speed at random and an
// onEnterFrame that lets it fall and sway, back to the top once it has
// left the stage.
const char* const kSnow = R"(
    push "started"; getVariable; if skip
    push "started", true; setVariable
    function2 _() regs=2 preload=this
      push r1, "_y", r1, "_y"; getMember; push r1, "v"; getMember; add2; setMember
      push r1, "_x", r1, "_x"; getMember; push r1, "_y"; getMember; push 15; divide
      push 1, "Math"; getVariable; push "sin"; callMethod; push 0.4; multiply; add2; setMember
      push r1, "_y"; getMember; push 205; greater; not; if stay
      push r1, "_y", -5; setMember
      stay:
    end
    push "fall"; swap; setVariable
    push 0; store r1; pop
    loop:
    push r1, 40; less2; not; if skip
    push r1, "f", r1; add2; push 2, "flake"; getVariable; push "duplicateMovieClip"; callMethod; store r2; pop
    push r2, "_x", 0, "Math"; getVariable; push "random"; callMethod; push 320; multiply; setMember
    push r2, "_y", 0, "Math"; getVariable; push "random"; callMethod; push 200; multiply; setMember
    push r2, "_xscale", 0, "Math"; getVariable; push "random"; callMethod; push 80; multiply; push 40; add2; setMember
    push r2, "_yscale", r2, "_xscale"; getMember; setMember
    push r2, "v", r2, "_xscale"; getMember; push 60; divide; setMember
    push r2, "onEnterFrame", "fall"; getVariable; setMember
    push r1; increment; store r1; pop
    jump loop
    skip:
)";

// Three glowing fireflies dancing over a night meadow for three seconds,
// with snow falling over them by script.
std::vector<uint8_t> Fireflies() {
    using namespace flash::test;
    constexpr int kFrames = 72;
    constexpr uint32_t kNight = 0x0A1028;
    SwfWriter movie(320, 200, 24, kFrames);
    movie.Background(kNight);
    movie.Tag(32, RectShape(1, 0, 3000, 6400, 4000, Solid(0x10301A)));
    const uint32_t glow[] = {0xFFE070, 0x90FF90, 0xFFA0D0};
    for (int i = 0; i < 3; ++i) movie.Tag(32, RectShape(uint16_t(i + 2), -500, -500, 500, 500, Radial(0, 0, 500, glow[i], kNight)));
    movie.Tag(32, RectShape(9, -40, -40, 40, 40, Solid(0xFFFFFF, 220)));
    SpriteOf(movie, 10, 9);
    movie.Place(1, 1, 0, 0);
    movie.Place(10, 10, -1000, -1000, false, -1, 0, "flake");
    movie.Actions(Avm1Assembler::Assemble(kSnow));
    for (int frame = 0; frame < kFrames; ++frame) {
        const double t = double(frame) / kFrames;
        for (int i = 0; i < 3; ++i) {
            const double x = 160 + 110 * std::sin(2 * kPi * t * (i + 1) + i * 2.1);
            const double y = 90 + 50 * std::sin(2 * kPi * t * (3 - i) + i);
            movie.Place(uint16_t(i + 2), frame == 0 ? i + 2 : -1, int(x * 20), int(y * 20), frame > 0);
        }
        movie.ShowFrame();
    }
    movie.End();
    return movie.Fws();
}

bool WriteFilm(const std::filesystem::path& path) {
    std::ofstream film(path, std::ios::binary);
    for (int frame = 0; frame < kFilmFrames; ++frame) {
        codec::RgbImage image = Draw(kFilmWidth, kFilmHeight, [frame](cairo_t* cr, int w, int h) {
            Lighthouse(cr, w, h, double(frame) / kFilmFrames);
        });
        film.write(reinterpret_cast<const char*>(image.Data()), static_cast<std::streamsize>(image.SizeBytes()));
    }
    return static_cast<bool>(film.flush());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pictures OUTDIR\n");
        return 2;
    }
    std::filesystem::path out = argv[1];
    std::error_code error;
    std::filesystem::create_directories(out, error);
    const Picture pictures[] = {
        {"sunrise.jpg", 720, 450, Sunrise},
        {"harbour.jpg", 640, 400, Harbour},
        {"mosaic.bmp", 160, 160, Mosaic},
        {"badge.bmp", 96, 96, Badge},
    };
    for (const Picture& picture : pictures) {
        codec::RgbImage image = Draw(picture.w, picture.h, picture.draw);
        std::filesystem::path path = out / picture.name;
        bool written = path.extension() == ".jpg" ? codec::WriteJpeg(path, image, 92) : codec::WriteBmp(path, image);
        if (!written) {
            std::fprintf(stderr, "make_pictures: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    std::vector<uint8_t> tune = Tune();
    std::ofstream midi(out / "tune.mid", std::ios::binary);
    midi.write(reinterpret_cast<const char*>(tune.data()), static_cast<std::streamsize>(tune.size()));
    if (!midi.flush()) {
        std::fprintf(stderr, "make_pictures: cannot write %s\n", (out / "tune.mid").c_str());
        return 1;
    }
    const std::vector<uint8_t> fireflies = Fireflies();
    std::ofstream swf(out / "fireflies.swf", std::ios::binary);
    swf.write(reinterpret_cast<const char*>(fireflies.data()), static_cast<std::streamsize>(fireflies.size()));
    if (!swf.flush()) {
        std::fprintf(stderr, "make_pictures: cannot write %s\n", (out / "fireflies.swf").c_str());
        return 1;
    }
    if (!WriteFilm(out / "lighthouse.rgb")) {
        std::fprintf(stderr, "make_pictures: cannot write %s\n", (out / "lighthouse.rgb").c_str());
        return 1;
    }
    return 0;
}
