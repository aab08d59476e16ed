#include "win32gui/dialog_template.hpp"

#include "platform/win32/wide_text.hpp"
#include "ui/about_template.hpp"

namespace dl250t {

DialogTemplate::DialogTemplate(std::string_view title, FontSpec font, DialogSize size, DWORD style,
                               DWORD exStyle, const std::vector<Item>& items) {
    put(1);       // dlgVer
    put(0xFFFF);  // signature: the extended template
    putDword(0);  // helpID
    putDword(exStyle);
    putDword(style | DS_SETFONT);
    put(static_cast<WORD>(items.size()));
    put(0);  // x and y: placed by the program
    put(0);
    put(static_cast<WORD>(size.width));
    put(static_cast<WORD>(size.height));
    put(0);  // no menu
    put(0);  // the standard dialog class
    putText(title);
    put(static_cast<WORD>(font.pointSize));
    put(FW_NORMAL);
    put(MAKEWORD(FALSE, DEFAULT_CHARSET));  // italic, then the character set
    putText(font.family);
    for (const Item& item : items) {
        alignToDword();
        putDword(0);  // helpID
        putDword(item.exStyle);
        putDword(item.style | WS_CHILD | WS_VISIBLE);
        put(static_cast<WORD>(item.rect.x));
        put(static_cast<WORD>(item.rect.y));
        put(static_cast<WORD>(item.rect.width));
        put(static_cast<WORD>(item.rect.height));
        putDword(item.id);
        put(0xFFFF);
        put(item.classAtom);
        if (item.resource != 0) {
            put(0xFFFF);
            put(item.resource);
        } else {
            putText(item.caption);
        }
        put(0);  // no creation data
    }
}

void DialogTemplate::putDword(DWORD value) {
    put(LOWORD(value));
    put(HIWORD(value));
}

void DialogTemplate::putText(std::string_view text) {
    // The template's texts are the program's own, always valid UTF-8.
    for (wchar_t c : utf8ToWide(text).value_or(L"")) {
        put(static_cast<WORD>(c));
    }
    put(0);
}

void DialogTemplate::alignToDword() {
    if (words_.size() % 2 != 0) {
        put(0);
    }
}

DWORD controlStyle(ControlKind kind) {
    switch (kind) {
        case ControlKind::Edit:
            return WS_TABSTOP | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL;
        case ControlKind::ReadOnlyEdit:
            return WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY;
        case ControlKind::DropDownList:
            return WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
        case ControlKind::EditableDropDown:
            // Without CBS_AUTOHSCROLL: a typed name ends where the field does.
            return WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN;
        case ControlKind::CheckBox:
            return WS_TABSTOP | BS_AUTOCHECKBOX;
        case ControlKind::PushButton:
            return WS_TABSTOP | BS_PUSHBUTTON;
    }
    return 0;
}

WORD controlClass(ControlKind kind) {
    switch (kind) {
        case ControlKind::Edit:
        case ControlKind::ReadOnlyEdit:
            return kEditClass;
        case ControlKind::DropDownList:
        case ControlKind::EditableDropDown:
            return kComboBoxClass;
        case ControlKind::CheckBox:
        case ControlKind::PushButton:
            return kButtonClass;
    }
    return 0;
}

DialogTemplate formDialogTemplate() {
    std::vector<DialogTemplate::Item> items;
    for (const ControlTemplate& control : kFormControls) {
        if (!control.label.text.empty()) {
            const DWORD align = control.label.align == LabelAlign::Centre ? SS_CENTER : SS_RIGHT;
            items.push_back({.classAtom = kStaticClass,
                             .style = align,
                             .rect = control.label.rect,
                             .caption = control.label.text});
        }
        items.push_back({.classAtom = controlClass(control.kind),
                         .style = controlStyle(control.kind),
                         .rect = control.rect,
                         .id = static_cast<DWORD>(control.id),
                         .caption = control.caption});
    }
    for (const GroupBoxTemplate& group : kFormGroupBoxes) {
        items.push_back({.classAtom = kButtonClass,
                         .style = BS_GROUPBOX,
                         .rect = group.rect,
                         .caption = group.caption});
    }
    // Fixed frame, title bar, system menu and close box; no minimise or
    // maximise box; a taskbar button of its own.
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK;
    if (kFormFrame.minimiseBox) {
        style |= WS_MINIMIZEBOX;
    }
    if (kFormFrame.maximiseBox) {
        style |= WS_MAXIMIZEBOX;
    }
    const DWORD exStyle = kFormFrame.ownTaskbarButton ? WS_EX_APPWINDOW : 0;
    return DialogTemplate(kFormTitle, kFormFont, kFormClientSize, style, exStyle, items);
}

DialogTemplate aboutDialogTemplate(WORD iconResource) {
    const std::vector<DialogTemplate::Item> items = {
        {.classAtom = kStaticClass,
         .style = SS_ICON,
         .rect = kAboutIconRect,
         .resource = iconResource},
        {.classAtom = kStaticClass,
         .style = SS_LEFT | SS_NOPREFIX,
         .rect = kAboutVersionRect,
         .caption = kAboutVersionText},
        {.classAtom = kButtonClass,
         .style = WS_TABSTOP | BS_DEFPUSHBUTTON,
         .rect = kAboutOkRect,
         .id = static_cast<DWORD>(kAboutOkId),
         .caption = kAboutOkCaption},
    };
    return DialogTemplate(kAboutTitle, kAboutFont, kAboutClientSize,
                          WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK, 0, items);
}

}  // namespace dl250t
