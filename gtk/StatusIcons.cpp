#include "gtk/StatusIcons.h"

#include <string>

#include "common/Logger.h"
#include "common/Util.h"

namespace GtkUtil {

namespace {

GObjectPtr<GdkPixbuf> LoadIcon(const char* name) {
    const std::string path = Util::ResourcePath(name);
    GError* raw = nullptr;
    GObjectPtr<GdkPixbuf> icon(gdk_pixbuf_new_from_file(path.c_str(), &raw));
    const ErrorPtr error(raw);
    if (!icon) {
        Logger::Get()->SetFunc("StatusIcons");
        Logger::Get()->Log("Icon %s not loaded: %s", path.c_str(),
                           error ? error->message : "no reason given");
    }
    return icon;
}

}  // namespace

bool StatusIcons::ForCode(int code, const MessageIds& ids, Check& check) {
    switch (code) {
        case 0:
            check = {Icon::Ok, ids.ok};
            return true;
        case 1:
            check = {Icon::Bad, ids.bad};
            return true;
        case 2:
            check = {Icon::Unknown, ids.unknown};
            return true;
        default:
            return false;
    }
}

StatusIcons::Check StatusIcons::ForChar(char status, const MessageIds& ids) {
    if (status == '1') return {Icon::Ok, ids.ok};
    if (status == '0') return {Icon::Bad, ids.bad};
    return {Icon::Unknown, ids.unknown};
}

StatusIcons::StatusIcons()
    : _ok(LoadIcon("Pendrel_OK.png")),
      _bad(LoadIcon("Pendrel_Bad.png")),
      _unknown(LoadIcon("Pendrel_Unknown.png")) {}

void StatusIcons::Show(const Check& check, GtkWidget* image, GtkWidget* label, int language) const {
    if (image != nullptr && GTK_IS_IMAGE(image)) {
        GdkPixbuf* icon = check.icon == Icon::Ok    ? _ok.get()
                          : check.icon == Icon::Bad ? _bad.get()
                                                    : _unknown.get();
        gtk_image_set_from_pixbuf(GTK_IMAGE(image), icon);
    }
    if (label != nullptr && GTK_IS_LABEL(label))
        gtk_label_set_text(GTK_LABEL(label), Util::LoadString(check.messageId, language).c_str());
}

}  // namespace GtkUtil
