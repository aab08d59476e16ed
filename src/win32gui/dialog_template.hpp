#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/form_template.hpp"

namespace dl250t {

// A dialog template (DLGTEMPLATEEX) made in memory, for
// CreateDialogIndirectParamW and DialogBoxIndirectParamW: Windows then lays
// the dialog out in dialog units of its font, at the screen's DPI.
class DialogTemplate {
public:
    // One control: a window class by its atom (0x0080 button, 0x0081 edit,
    // 0x0082 static, 0x0085 combo box), and either a caption or a resource
    // ordinal as its text (the icon of a static SS_ICON control).
    struct Item {
        WORD classAtom = 0;
        DWORD style = 0;
        DWORD exStyle = 0;
        DialogRect rect;
        DWORD id = static_cast<DWORD>(-1);
        std::string_view caption = {};
        WORD resource = 0;  // used instead of the caption when not 0
    };

    DialogTemplate(std::string_view title, FontSpec font, DialogSize size, DWORD style,
                   DWORD exStyle, const std::vector<Item>& items);

    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void put(WORD word) { words_.push_back(word); }
    void putDword(DWORD value);
    void putText(std::string_view text);
    void alignToDword();

    // Words, so that the data is WORD-aligned as Windows wants it.
    std::vector<WORD> words_;
};

// The class atoms of the standard controls.
inline constexpr WORD kButtonClass = 0x0080;
inline constexpr WORD kEditClass = 0x0081;
inline constexpr WORD kStaticClass = 0x0082;
inline constexpr WORD kComboBoxClass = 0x0085;

// The window style and class of a control of the form.
DWORD controlStyle(ControlKind kind);
WORD controlClass(ControlKind kind);

// The main window from the form template: every control with its ID, class,
// caption, style and rectangle, in tab order, each label just before its
// control and the group boxes last, beneath everything. Hidden until shown.
DialogTemplate formDialogTemplate();

// The About box: the program icon (resource `iconResource`), the version
// line and the OK button.
DialogTemplate aboutDialogTemplate(WORD iconResource);

}  // namespace dl250t
