#pragma once

#include <filesystem>
#include <string_view>

namespace dl250t {

// The folder of symbolic links COMn -> tty device that give ports a stable
// COM name: $XDG_RUNTIME_DIR/dl250t/ports when XDG_RUNTIME_DIR names an
// absolute folder, else /tmp/dl250t-<uid>/ports. Creating a link plugs a
// port in, removing it unplugs it. Everything that takes the folder as a
// parameter can be pointed elsewhere, as the tests do.
std::filesystem::path defaultPortDirectory();

enum class PortDirectoryState {
    Ready,
    Missing,
    CreateFailed,
    NotADirectory,
    SymbolicLink,
    ForeignOwner,
    OpenToOthers,  // others could plant links to devices of their choice
};

std::string_view portDirectoryStateText(PortDirectoryState state);

// Checks the folder and the one that holds it, creating nothing: both must
// be real folders (not links), owned by this user and writable by no one else.
PortDirectoryState checkPortDirectory(const std::filesystem::path& directory);

// Creates whichever of the two levels is missing, with mode 0700, then checks
// them as checkPortDirectory does. An existing folder is never changed.
PortDirectoryState preparePortDirectory(const std::filesystem::path& directory);

}  // namespace dl250t
