#include "ui/form_lists.hpp"

#include <algorithm>

namespace dl250t {

std::span<const std::string_view> initialItems(ctl::ControlId id) {
    const auto* list = std::ranges::find(kInitialLists, id, &InitialList::id);
    if (list == kInitialLists.end()) {
        return {};
    }
    return list->items;
}

}  // namespace dl250t
