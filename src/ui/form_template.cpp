#include "ui/form_template.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace dl250t {
namespace {

constexpr std::size_t kControlCount = ctl::Last - ctl::First + 1;

// Position in kFormControls of each ID, indexed by ID - 1000; -1 where the
// table has no such control.
constexpr std::array<int, kControlCount> kPositionById = [] {
    std::array<int, kControlCount> positions{};
    positions.fill(-1);
    for (std::size_t i = 0; i < kFormControls.size(); ++i) {
        const auto id = kFormControls[i].id;
        if (id >= ctl::First && id <= ctl::Last) {
            positions[static_cast<std::size_t>(id - ctl::First)] = static_cast<int>(i);
        }
    }
    return positions;
}();

// The table has to name every ID from 1000 to 1064 exactly once.
static_assert(kFormControls.size() == kControlCount);
static_assert(std::ranges::none_of(kPositionById, [](int position) { return position < 0; }));

// Captions belong to buttons and check boxes, labels to everything else, and
// the lists and the list-shaped controls have to agree.
constexpr bool captionsAndLabelsFitTheirKinds() {
    for (const auto& control : kFormControls) {
        const bool captioned =
            control.kind == ControlKind::PushButton || control.kind == ControlKind::CheckBox;
        if (captioned == control.caption.empty()) {
            return false;
        }
        if (captioned && !control.label.text.empty()) {
            return false;
        }
    }
    return true;
}
static_assert(captionsAndLabelsFitTheirKinds());

constexpr bool everyListHasItems() {
    for (const auto& control : kFormControls) {
        const bool hasList =
            std::ranges::find(kInitialLists, control.id, &InitialList::id) != kInitialLists.end();
        if (hasList != isList(control.kind)) {
            return false;
        }
    }
    return true;
}
static_assert(everyListHasItems());

}  // namespace

const ControlTemplate& controlTemplate(ctl::ControlId id) {
    if (id < ctl::First || id > ctl::Last) {
        throw std::out_of_range("no control with ID " + std::to_string(id));
    }
    return kFormControls[static_cast<std::size_t>(
        kPositionById[static_cast<std::size_t>(id - ctl::First)])];
}

}  // namespace dl250t
