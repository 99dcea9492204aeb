// Writes a PDF as cairo does for any program that prints through it: an A4
// page of text and shapes and a Letter page in landscape.
// usage: corpus-cairo OUT.pdf default|1.4
#include <cairo-pdf.h>
#include <cairo.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

void Page(cairo_t* cr, const char* title, double r, double g, double b) {
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 18);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, 72, 90);
    cairo_show_text(cr, title);
    cairo_set_font_size(cr, 11);
    cairo_move_to(cr, 72, 120);
    cairo_show_text(cr, "Drawn by cairo: text, a filled rectangle and a stroked curve.");
    cairo_set_source_rgb(cr, r, g, b);
    cairo_rectangle(cr, 72, 150, 200, 100);
    cairo_fill(cr);
    cairo_set_line_width(cr, 3);
    cairo_move_to(cr, 72, 300);
    cairo_curve_to(cr, 150, 250, 250, 350, 330, 300);
    cairo_stroke(cr);
    cairo_show_page(cr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: corpus-cairo OUT.pdf default|1.4\n");
        return 2;
    }
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(cairo_pdf_surface_create(argv[1], 595, 842));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return 1;
    if (std::strcmp(argv[2], "1.4") == 0)
        cairo_pdf_surface_restrict_to_version(surface.get(), CAIRO_PDF_VERSION_1_4);
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, "A cairo document");
    {
        std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(surface.get()));
        Page(cr.get(), "An A4 page", 0.2, 0.5, 0.3);
        cairo_pdf_surface_set_size(surface.get(), 792, 612);
        Page(cr.get(), "A Letter page in landscape", 0.7, 0.3, 0.1);
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return 1;
    }
    cairo_surface_finish(surface.get());
    return cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS ? 0 : 1;
}
