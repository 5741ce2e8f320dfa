#include "keyboard_layout.h"

#include <QStringList>

#ifdef MOBCFG_HAVE_XKB
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XKBstr.h>
#endif

namespace {

#ifdef MOBCFG_HAVE_XKB

// The display opened on first use and kept for the life of the process; null without an X server.
Display* LayoutDisplay() {
    static Display* display = qEnvironmentVariableIsEmpty("DISPLAY") ? nullptr : XOpenDisplay(nullptr);
    return display;
}

// The layouts of the XKB groups in group order, read from the symbols name ("pc+us+ru:2+inet(evdev)").
QStringList GroupLayouts(Display* display) {
    QStringList layouts;
    XkbDescPtr keyboard = XkbAllocKeyboard();
    if (keyboard == nullptr) {
        return layouts;
    }
    if (XkbGetNames(display, XkbSymbolsNameMask, keyboard) == Success && keyboard->names != nullptr &&
        keyboard->names->symbols != None) {
        if (char* symbols = XGetAtomName(display, keyboard->names->symbols)) {
            const QStringList parts = QString::fromLatin1(symbols).split(u'+');
            XFree(symbols);
            for (const QString& part : parts) {
                QString layout = part.section(u':', 0, 0).section(u'(', 0, 0);
                const int group = part.contains(u':') ? part.section(u':', 1).toInt() : layouts.size() + 1;
                if (layout.isEmpty() || layout == u"pc" || layout == u"inet" || layout.startsWith(u"group") ||
                    group < 1 || group > 4) {
                    continue;
                }
                while (layouts.size() < group) {
                    layouts << QString();
                }
                layouts[group - 1] = layout;
            }
        }
    }
    XkbFreeKeyboard(keyboard, 0, True);
    return layouts;
}

QString NameOfLayout(const QString& layout) {
    if (layout == u"us") {
        return kLayoutEnglish;
    }
    if (layout == u"ru") {
        return kLayoutRussian;
    }
    return {};
}

#endif

}  // namespace

QString ActiveKeyboardLayoutName() {
#ifdef MOBCFG_HAVE_XKB
    Display* display = LayoutDisplay();
    if (display == nullptr) {
        return {};
    }
    XkbStateRec state;
    if (XkbGetState(display, XkbUseCoreKbd, &state) != Success) {
        return {};
    }
    const QStringList layouts = GroupLayouts(display);
    return state.group < layouts.size() ? NameOfLayout(layouts[state.group]) : QString();
#else
    return {};
#endif
}

bool ActivateKeyboardLayout(const QString& name) {
#ifdef MOBCFG_HAVE_XKB
    Display* display = LayoutDisplay();
    if (display == nullptr) {
        return false;
    }
    const QStringList layouts = GroupLayouts(display);
    for (int group = 0; group < layouts.size(); ++group) {
        if (!name.isEmpty() && NameOfLayout(layouts[group]) == name) {
            const bool locked = XkbLockGroup(display, XkbUseCoreKbd, unsigned(group)) == True;
            XFlush(display);
            return locked;
        }
    }
    return false;
#else
    Q_UNUSED(name);
    return false;
#endif
}

QString KeyboardLayoutIndicator() {
    const QString name = ActiveKeyboardLayoutName();
    if (name == kLayoutEnglish) {
        return QStringLiteral("EN");
    }
    if (name == kLayoutRussian) {
        return QStringLiteral("RU");
    }
    return {};
}
