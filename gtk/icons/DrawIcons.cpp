// Draws the three check icons of the status windows into the folder given as
// the only argument: Pendrel_OK.png (green disc, white tick), Pendrel_Bad.png
// (red disc, white cross), Pendrel_Unknown.png (amber disc, white question mark).
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr int kSize = 24;

struct SurfaceDestroy {
    void operator()(cairo_surface_t* s) const noexcept { cairo_surface_destroy(s); }
};
struct ContextDestroy {
    void operator()(cairo_t* c) const noexcept { cairo_destroy(c); }
};

enum class Mark { Tick, Cross, Question };

bool Draw(const std::string& path, double r, double g, double b, Mark mark) {
    const std::unique_ptr<cairo_surface_t, SurfaceDestroy> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSize, kSize));
    const std::unique_ptr<cairo_t, ContextDestroy> cr(cairo_create(surface.get()));
    cairo_t* c = cr.get();
    const double centre = kSize / 2.0;
    cairo_arc(c, centre, centre, centre - 1.0, 0, 2 * M_PI);
    cairo_set_source_rgb(c, r, g, b);
    cairo_fill_preserve(c);
    cairo_set_source_rgba(c, 0, 0, 0, 0.35);
    cairo_set_line_width(c, 1.0);
    cairo_stroke(c);

    cairo_set_source_rgb(c, 1, 1, 1);
    cairo_set_line_width(c, 3.0);
    cairo_set_line_cap(c, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(c, CAIRO_LINE_JOIN_ROUND);
    switch (mark) {
        case Mark::Tick:
            cairo_move_to(c, 6.5, 12.5);
            cairo_line_to(c, 10.5, 16.5);
            cairo_line_to(c, 17.5, 8.0);
            cairo_stroke(c);
            break;
        case Mark::Cross:
            cairo_move_to(c, 8, 8);
            cairo_line_to(c, 16, 16);
            cairo_move_to(c, 16, 8);
            cairo_line_to(c, 8, 16);
            cairo_stroke(c);
            break;
        case Mark::Question:
            cairo_set_line_width(c, 2.5);
            cairo_arc(c, centre, 9.5, 3.5, M_PI, 2.25 * M_PI);
            cairo_curve_to(c, 14.0, 13.0, 12.0, 13.0, 12.0, 15.0);
            cairo_stroke(c);
            cairo_arc(c, centre, 18.5, 1.6, 0, 2 * M_PI);
            cairo_fill(c);
            break;
    }
    cairo_surface_flush(surface.get());
    if (cairo_surface_write_to_png(surface.get(), path.c_str()) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const bool ok = Draw(folder + "/Pendrel_OK.png", 0.18, 0.62, 0.25, Mark::Tick) &&
                    Draw(folder + "/Pendrel_Bad.png", 0.80, 0.16, 0.16, Mark::Cross) &&
                    Draw(folder + "/Pendrel_Unknown.png", 0.85, 0.60, 0.10, Mark::Question);
    return ok ? 0 : 1;
}
