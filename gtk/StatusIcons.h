#pragma once

#include <gtk/gtk.h>

#include "gtk/GtkPtr.h"

namespace GtkUtil {

// The three check icons and the rules that pick icon and text of one check.
class StatusIcons {
public:
    enum class Icon { Ok, Bad, Unknown };
    struct Check {
        Icon icon;
        int messageId;
    };
    struct MessageIds {
        int ok;
        int bad;
        int unknown;
    };

    // A validity code: 0 valid, 1 invalid, 2 not determined; false for any
    // other code (nothing is shown then).
    static bool ForCode(int code, const MessageIds& ids, Check& check);
    // A status character: '1' passed, '0' failed, anything else not determined.
    static Check ForChar(char status, const MessageIds& ids);
    // The signature check of a verification code: 0 verifies, 1 does not, else not checkable.
    static char SignatureChar(int code) { return code == 0 ? '1' : code == 1 ? '0' : 'X'; }

    // Loads "Pendrel_OK.png", "Pendrel_Bad.png", "Pendrel_Unknown.png"; a
    // missing file leaves that icon empty.
    StatusIcons();

    // Shows the check's icon and message text (in message language
    // `language`) on the two widgets (either may be null).
    void Show(const Check& check, GtkWidget* image, GtkWidget* label, int language) const;

private:
    GObjectPtr<GdkPixbuf> _ok;
    GObjectPtr<GdkPixbuf> _bad;
    GObjectPtr<GdkPixbuf> _unknown;
};

}  // namespace GtkUtil
