// korvel-bitmaps: draws the program's toolbar images, logo and update glyph as 8-bit
// palette bitmap files (the format the window loads from its embedded blobs).
//
//   korvel-bitmaps OUTDIR
//
// writes OUTDIR/b1.bmp ... b12.bmp (74 x 31), logo.bmp (143 x 63) and update.bmp (23 x 23).
// The drawing is deterministic, so a rebuild gives the same bytes; a file whose bytes are
// already right is left untouched so that the blobs built from it are not rebuilt.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

// Palette indices. Entries after the named colours hold a grey ramp so that the palette is
// a complete 256-entry table.
enum Colour : std::uint8_t {
    White,
    Black,
    DarkGrey,
    Grey,
    LightGrey,
    Blue,
    DarkBlue,
    PaleBlue,
    Red,
    Orange,
    Green,
    LightGreen,
    Yellow,
    HotFill,
    HotBorder,
    PressFill,
    PressBorder,
    Brown,
    Tan,
    Sky,
    TicketFill,
    kNamedColours
};

struct Rgb {
    std::uint8_t r, g, b;
};

constexpr Rgb kPalette[kNamedColours] = {
    {0xFF, 0xFF, 0xFF},  // White
    {0x00, 0x00, 0x00},  // Black
    {0x40, 0x40, 0x40},  // DarkGrey
    {0x80, 0x80, 0x80},  // Grey
    {0xC8, 0xC8, 0xC8},  // LightGrey
    {0x1E, 0x64, 0xC8},  // Blue
    {0x0A, 0x3C, 0x82},  // DarkBlue
    {0xB4, 0xD7, 0xF5},  // PaleBlue
    {0xD2, 0x28, 0x28},  // Red
    {0xFF, 0x99, 0x00},  // Orange
    {0x00, 0x80, 0x00},  // Green: the toolbar's rule colour
    {0x8C, 0xCB, 0x5E},  // LightGreen
    {0xFF, 0xD7, 0x00},  // Yellow
    {0xFF, 0xF3, 0xD0},  // HotFill
    {0xFF, 0xC7, 0x3C},  // HotBorder: the buttons' hot-track colour
    {0xDC, 0xE6, 0xF0},  // PressFill
    {0x7A, 0x8C, 0xA5},  // PressBorder
    {0x8B, 0x5A, 0x2B},  // Brown
    {0xD9, 0x9A, 0x5B},  // Tan
    {0x3C, 0x8C, 0xDC},  // Sky
    {0x9F, 0xCB, 0xEE},  // TicketFill
};

class Canvas {
  public:
    Canvas(int width, int height, std::uint8_t fill)
        : w_(width), h_(height), px_(static_cast<std::size_t>(width * height), fill) {}

    int Width() const { return w_; }
    int Height() const { return h_; }
    std::uint8_t At(int x, int y) const { return px_[static_cast<std::size_t>(y * w_ + x)]; }

    void Set(int x, int y, std::uint8_t c) {
        if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
        px_[static_cast<std::size_t>(y * w_ + x)] = c;
    }

    // Corners inclusive.
    void FillRect(int x0, int y0, int x1, int y1, std::uint8_t c) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) Set(x, y, c);
    }

    void FrameRect(int x0, int y0, int x1, int y1, std::uint8_t c) {
        for (int x = x0; x <= x1; ++x) Set(x, y0, c), Set(x, y1, c);
        for (int y = y0; y <= y1; ++y) Set(x0, y, c), Set(x1, y, c);
    }

    // A frame with its four corner pixels left out: reads as slightly rounded.
    void RoundFrame(int x0, int y0, int x1, int y1, std::uint8_t c) {
        for (int x = x0 + 1; x < x1; ++x) Set(x, y0, c), Set(x, y1, c);
        for (int y = y0 + 1; y < y1; ++y) Set(x0, y, c), Set(x1, y, c);
    }

    void Line(int x0, int y0, int x1, int y1, std::uint8_t c) {
        const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
        const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
        int err = dx + dy;
        for (;;) {
            Set(x0, y0, c);
            if (x0 == x1 && y0 == y1) break;
            const int e2 = 2 * err;
            if (e2 >= dy) err += dy, x0 += sx;
            if (e2 <= dx) err += dx, y0 += sy;
        }
    }

    // Pixels whose centre lies within radius r of (cx, cy).
    void FillCircle(double cx, double cy, double r, std::uint8_t c) {
        for (int y = static_cast<int>(cy - r) - 1; y <= static_cast<int>(cy + r) + 1; ++y)
            for (int x = static_cast<int>(cx - r) - 1; x <= static_cast<int>(cx + r) + 1; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) Set(x, y, c);
    }

    // Even-odd scanline fill, sampling pixel centres.
    void FillPolygon(const std::vector<std::pair<double, double>>& pts, std::uint8_t c) {
        for (int y = 0; y < h_; ++y) {
            const double sy = y + 0.5;
            std::vector<double> xs;
            for (std::size_t i = 0; i < pts.size(); ++i) {
                auto [ax, ay] = pts[i];
                auto [bx, by] = pts[(i + 1) % pts.size()];
                if ((ay <= sy && by > sy) || (by <= sy && ay > sy))
                    xs.push_back(ax + (sy - ay) * (bx - ax) / (by - ay));
            }
            std::sort(xs.begin(), xs.end());
            for (std::size_t i = 0; i + 1 < xs.size(); i += 2)
                for (int x = 0; x < w_; ++x)
                    if (x + 0.5 >= xs[i] && x + 0.5 < xs[i + 1]) Set(x, y, c);
        }
    }

  private:
    int w_, h_;
    std::vector<std::uint8_t> px_;
};

// A 5 x 7 pixel font with the few letters the pictures need.
struct Glyph {
    char ch;
    std::uint8_t rows[7];
};

constexpr Glyph kFont[] = {
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'o', {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E}},
    {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}},
    {'v', {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'e', {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E}},
    {'l', {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {' ', {0, 0, 0, 0, 0, 0, 0}},
};

const Glyph* FindGlyph(char ch) {
    for (const Glyph& g : kFont)
        if (g.ch == ch) return &g;
    return nullptr;
}

// Width in pixels of `text` at `scale`, one scaled column of space between letters.
int TextWidth(const std::string& text, int scale) {
    return text.empty() ? 0 : static_cast<int>(text.size()) * 6 * scale - scale;
}

void DrawText(Canvas& cv, int x, int y, const std::string& text, int scale, std::uint8_t c) {
    for (char ch : text) {
        if (const Glyph* g = FindGlyph(ch)) {
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if (g->rows[row] & (0x10 >> col))
                        cv.FillRect(x + col * scale, y + row * scale, x + col * scale + scale - 1,
                                    y + row * scale + scale - 1, c);
        }
        x += 6 * scale;
    }
}

// ---------------------------------------------------------------------------------------
// Toolbar images: four pictures, each in a normal, hot (pointer over it) and pressed look.

enum class Look { Normal, Hot, Pressed };

std::uint8_t Background(Look look) {
    switch (look) {
        case Look::Hot:
            return HotFill;
        case Look::Pressed:
            return PressFill;
        default:
            return White;
    }
}

Canvas ButtonCanvas(Look look) {
    Canvas cv(74, 31, White);
    if (look == Look::Hot) {
        cv.FillRect(1, 1, 72, 29, HotFill);
        cv.RoundFrame(0, 0, 73, 30, HotBorder);
    } else if (look == Look::Pressed) {
        cv.FillRect(1, 1, 72, 29, PressFill);
        cv.RoundFrame(0, 0, 73, 30, PressBorder);
        // A darker top and left edge makes the button look pushed in.
        cv.Line(1, 1, 72, 1, LightGrey);
        cv.Line(1, 1, 1, 29, LightGrey);
    }
    return cv;
}

// A high-speed train seen from the side, running to the right on a track.
void DrawTrain(Canvas& cv, int ox, int oy, Look look) {
    auto X = [&](double x) { return x + ox; };
    auto Y = [&](double y) { return y + oy; };
    // Track: rail and sleepers.
    cv.FillRect(static_cast<int>(X(8)), static_cast<int>(Y(27)), static_cast<int>(X(65)),
                static_cast<int>(Y(27)), DarkGrey);
    for (int x = 10; x <= 64; x += 6)
        cv.FillRect(static_cast<int>(X(x)), static_cast<int>(Y(28)), static_cast<int>(X(x + 2)),
                    static_cast<int>(Y(28)), Brown);
    const std::uint8_t body = look == Look::Hot ? Sky : Blue;
    // Body with a sloping nose.
    cv.FillPolygon({{X(12), Y(8)},
                    {X(50), Y(8)},
                    {X(57), Y(10)},
                    {X(63), Y(17)},
                    {X(64), Y(23)},
                    {X(12), Y(23)}},
                   body);
    cv.Line(static_cast<int>(X(13)), static_cast<int>(Y(7)), static_cast<int>(X(50)),
            static_cast<int>(Y(7)), DarkBlue);
    // Passenger windows and the driver's window.
    for (int x = 16; x <= 44; x += 7)
        cv.FillRect(static_cast<int>(X(x)), static_cast<int>(Y(11)), static_cast<int>(X(x + 4)),
                    static_cast<int>(Y(14)), PaleBlue);
    cv.FillPolygon({{X(51), Y(11)}, {X(56), Y(11)}, {X(60), Y(16)}, {X(51), Y(16)}}, PaleBlue);
    // A red stripe along the side, a headlight and the underframe with wheels.
    cv.FillRect(static_cast<int>(X(12)), static_cast<int>(Y(18)), static_cast<int>(X(63)),
                static_cast<int>(Y(19)), Red);
    cv.Set(static_cast<int>(X(63)), static_cast<int>(Y(21)), Yellow);
    cv.FillRect(static_cast<int>(X(12)), static_cast<int>(Y(23)), static_cast<int>(X(64)),
                static_cast<int>(Y(23)), DarkBlue);
    for (int x : {18, 25, 48, 55}) cv.FillCircle(X(x), Y(24.5), 2.0, DarkGrey);
}

// An airliner seen from above, flying to the right.
void DrawPlane(Canvas& cv, int ox, int oy, Look look) {
    auto P = [&](double x, double y) { return std::pair<double, double>{x + ox, y + oy}; };
    const std::uint8_t body = look == Look::Hot ? Sky : Blue;
    // Wings (swept back), then tailplane, then fuselage on top.
    cv.FillPolygon({P(35, 14), P(47, 14), P(35, 1), P(30, 1)}, body);
    cv.FillPolygon({P(35, 17), P(47, 17), P(35, 30), P(30, 30)}, body);
    cv.FillPolygon({P(13, 14), P(21, 14), P(16, 7), P(12, 7)}, body);
    cv.FillPolygon({P(13, 17), P(21, 17), P(16, 24), P(12, 24)}, body);
    cv.FillPolygon({P(12, 13.5), P(58, 13.5), P(58, 17.5), P(12, 17.5)}, body);
    cv.FillCircle(58 + ox, 15.5 + oy, 2.2, body);
    cv.FillPolygon({P(59, 14), P(63, 15.5), P(59, 17)}, body);
    // Engines under the wings and the cockpit window.
    cv.FillRect(37 + ox, 8 + oy, 41 + ox, 9 + oy, DarkBlue);
    cv.FillRect(37 + ox, 22 + oy, 41 + ox, 23 + oy, DarkBlue);
    cv.FillRect(57 + ox, 15 + oy, 59 + ox, 16 + oy, PaleBlue);
    cv.Line(14 + ox, 15 + oy, 54 + ox, 15 + oy, DarkBlue);
}

// A hotel: a block with a sign, lit windows and a door, three stars above.
void DrawHotel(Canvas& cv, int ox, int oy, Look look) {
    const std::uint8_t wall = look == Look::Hot ? Orange : Tan;
    cv.FillRect(21 + ox, 7 + oy, 52 + ox, 27 + oy, wall);
    cv.FillRect(20 + ox, 6 + oy, 53 + ox, 6 + oy, Brown);
    cv.FrameRect(21 + ox, 7 + oy, 52 + ox, 27 + oy, Brown);
    // Sign board.
    cv.FillRect(22 + ox, 8 + oy, 51 + ox, 16 + oy, DarkBlue);
    DrawText(cv, 22 + ox + (30 - TextWidth("HOTEL", 1)) / 2, 9 + oy, "HOTEL", 1, Yellow);
    // Windows either side of the door.
    for (int x : {24, 30, 42, 48})
        for (int y : {18, 23}) cv.FillRect(x + ox, y + oy, x + 2 + ox, y + 2 + oy, PaleBlue);
    cv.FillRect(35 + ox, 20 + oy, 38 + ox, 27 + oy, Brown);
    // Ground.
    cv.FillRect(12 + ox, 28 + oy, 61 + ox, 28 + oy, Grey);
    // Stars.
    for (int cx : {30, 37, 44}) {
        cv.FillRect(cx - 1 + ox, 2 + oy, cx + 1 + ox, 2 + oy, Yellow);
        cv.FillRect(cx + ox, 1 + oy, cx + ox, 3 + oy, Yellow);
        cv.Set(cx + ox, 2 + oy, Orange);
    }
}

// A railway ticket with a magnifying glass over its corner: looking for tickets left.
void DrawTicket(Canvas& cv, int ox, int oy, Look look) {
    const std::uint8_t bg = Background(look);
    const std::uint8_t paper = look == Look::Hot ? PaleBlue : TicketFill;
    cv.FillRect(13 + ox, 5 + oy, 57 + ox, 25 + oy, paper);
    cv.FrameRect(13 + ox, 5 + oy, 57 + ox, 25 + oy, DarkBlue);
    // Notches on both short sides.
    cv.FillCircle(13 + ox, 15 + oy, 3.0, bg);
    cv.FillCircle(57 + ox, 15 + oy, 3.0, bg);
    // Perforation between ticket and stub.
    for (int y = 7; y <= 23; y += 2) cv.Set(47 + ox, y + oy, DarkBlue);
    // Printed lines: stations, train and seat, and the price in red.
    cv.FillRect(18 + ox, 8 + oy, 26 + ox, 9 + oy, DarkBlue);
    cv.Line(28 + ox, 9 + oy, 32 + ox, 9 + oy, DarkBlue);
    cv.Set(31 + ox, 8 + oy, DarkBlue);
    cv.FillRect(34 + ox, 8 + oy, 42 + ox, 9 + oy, DarkBlue);
    cv.FillRect(18 + ox, 12 + oy, 36 + ox, 12 + oy, Blue);
    cv.FillRect(18 + ox, 15 + oy, 30 + ox, 15 + oy, Blue);
    cv.FillRect(18 + ox, 19 + oy, 27 + ox, 21 + oy, Red);
    for (int y = 8; y <= 20; y += 4) cv.FillRect(50 + ox, y + oy, 54 + ox, y + 1 + oy, Blue);
    // Magnifying glass.
    cv.FillCircle(43.5 + ox, 17.5 + oy, 5.6, DarkGrey);
    cv.FillCircle(43.5 + ox, 17.5 + oy, 3.7, White);
    cv.Set(41 + ox, 15 + oy, PaleBlue);
    cv.Set(42 + ox, 15 + oy, PaleBlue);
    cv.Set(41 + ox, 16 + oy, PaleBlue);
    for (int i = 0; i < 5; ++i) {
        cv.FillRect(47 + i + ox, 21 + i + oy, 48 + i + ox, 22 + i + oy, DarkGrey);
    }
}

using Drawer = void (*)(Canvas&, int, int, Look);

Canvas ButtonImage(Drawer draw, Look look) {
    Canvas cv = ButtonCanvas(look);
    // Pressed pictures move one pixel down and right, like a pushed button's face.
    const int shift = look == Look::Pressed ? 1 : 0;
    draw(cv, shift, shift, look);
    return cv;
}

// ---------------------------------------------------------------------------------------

Canvas Logo() {
    Canvas cv(143, 63, White);
    // The name, its first letter in red.
    const int scale = 3;
    const int x0 = (143 - TextWidth("Korvel", scale)) / 2;
    for (int dx : {0, 1}) {  // drawn twice, one pixel apart: a bold face
        DrawText(cv, x0 + dx, 4, "K", scale, Red);
        DrawText(cv, x0 + dx + 6 * scale, 4, "orvel", scale, DarkBlue);
    }
    // A short train on a track under it, and the words TIMETABLE beside the train.
    cv.FillRect(2, 55, 140, 56, DarkGrey);
    for (int x = 4; x <= 136; x += 7) cv.FillRect(x, 57, x + 3, 58, Brown);
    cv.FillPolygon({{8, 38}, {42, 38}, {49, 41}, {54, 48}, {55, 53}, {8, 53}}, Blue);
    for (int x = 11; x <= 35; x += 6) cv.FillRect(x, 41, x + 3, 44, PaleBlue);
    cv.FillPolygon({{43, 41}, {47, 41}, {51, 46}, {43, 46}}, PaleBlue);
    cv.FillRect(8, 48, 54, 49, Red);
    for (int x : {14, 20, 41, 47}) cv.FillCircle(x, 54, 1.8, DarkGrey);
    DrawText(cv, 66, 38, "TIMETABLE", 1, Green);
    // The green double rule of the toolbar, repeated under the name.
    cv.FillRect(x0, 28, x0 + TextWidth("Korvel", scale) - 1, 28, Green);
    cv.FillRect(x0, 30, x0 + TextWidth("Korvel", scale) - 1, 30, LightGreen);
    return cv;
}

// A circular arrow: "refresh / update".
Canvas Update() {
    Canvas cv(23, 23, White);
    const double cx = 11.0, cy = 12.0, outer = 8.6, inner = 5.3;
    const double kPi = 3.14159265358979323846;
    for (int y = 0; y < 23; ++y) {
        for (int x = 0; x < 23; ++x) {
            const double dx = x - cx, dy = y - cy, d2 = dx * dx + dy * dy;
            if (d2 < inner * inner || d2 > outer * outer) continue;
            // Angle measured clockwise from 12 o'clock; the ring is open from 12 to 2 o'clock.
            double a = std::atan2(dx, -dy) * 180.0 / kPi;
            if (a < 0) a += 360.0;
            if (a < 60.0 || (a > 355.0 && x > cx)) continue;
            cv.Set(x, y, Green);
        }
    }
    // Arrowhead at 12 o'clock pointing clockwise, into the opening.
    const double mid = (outer + inner) / 2.0;
    const double hy = cy - mid;
    cv.FillPolygon({{cx, hy - 4.5}, {cx, hy + 5.0}, {cx + 5.5, hy + 0.25}}, Green);
    return cv;
}

// ---------------------------------------------------------------------------------------

void Put16(std::vector<unsigned char>& b, std::uint32_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}

void Put32(std::vector<unsigned char>& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// BITMAPFILEHEADER + BITMAPINFOHEADER + 256 palette entries, then bottom-up rows padded to
// four bytes: the pixels start at byte 14 + 40 + 1024 = 1078.
std::vector<unsigned char> EncodeBmp(const Canvas& cv) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(cv.Width()) + 3u) & ~3u;
    const std::uint32_t image = stride * static_cast<std::uint32_t>(cv.Height());
    const std::uint32_t offset = 14 + 40 + 256 * 4;
    std::vector<unsigned char> b;
    b.reserve(offset + image);
    b.push_back('B');
    b.push_back('M');
    Put32(b, offset + image);
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, static_cast<std::uint32_t>(cv.Width()));
    Put32(b, static_cast<std::uint32_t>(cv.Height()));
    Put16(b, 1);  // planes
    Put16(b, 8);  // bits per pixel
    Put32(b, 0);  // no compression
    Put32(b, image);
    Put32(b, 2835);  // 72 dpi
    Put32(b, 2835);
    Put32(b, 256);  // colours used
    Put32(b, 0);
    for (int i = 0; i < 256; ++i) {
        Rgb c;
        if (i < kNamedColours) {
            c = kPalette[i];
        } else {
            const auto v =
                static_cast<std::uint8_t>((i - kNamedColours) * 255 / (255 - kNamedColours));
            c = {v, v, v};
        }
        b.push_back(c.b);
        b.push_back(c.g);
        b.push_back(c.r);
        b.push_back(0);
    }
    for (int y = cv.Height() - 1; y >= 0; --y) {
        for (int x = 0; x < cv.Width(); ++x) b.push_back(cv.At(x, y));
        for (std::uint32_t p = static_cast<std::uint32_t>(cv.Width()); p < stride; ++p)
            b.push_back(0);
    }
    return b;
}

bool WriteIfChanged(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::vector<unsigned char> old((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
            if (old == bytes) return true;
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: korvel-bitmaps OUTDIR\n";
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::cerr << "korvel-bitmaps: cannot create " << dir << ": " << ec.message() << "\n";
        return 1;
    }

    std::vector<std::pair<std::string, Canvas>> images;
    const Drawer drawers[] = {DrawTrain, DrawPlane, DrawHotel, DrawTicket};
    int n = 1;
    for (Drawer d : drawers)
        for (Look look : {Look::Normal, Look::Hot, Look::Pressed})
            images.emplace_back("b" + std::to_string(n++) + ".bmp", ButtonImage(d, look));
    images.emplace_back("logo.bmp", Logo());
    images.emplace_back("update.bmp", Update());

    for (const auto& [name, canvas] : images) {
        if (!WriteIfChanged(dir / name, EncodeBmp(canvas))) {
            std::cerr << "korvel-bitmaps: cannot write " << (dir / name) << "\n";
            return 1;
        }
    }
    return 0;
}
