#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "production/port_claims.hpp"

namespace dl250t {

// A claim is flock(LOCK_EX|LOCK_NB) on a lock file per device in /run/lock
// (in /tmp where /run/lock is not open to every user, so that a window under
// a user and a station under root always pick the same folder). The open
// descriptor holds the claim, and the kernel drops it when the program ends,
// however it ends. The lock belongs to the device a name opens, not to the
// name: a user's COM7 link to an adapter and a station's COM33 for the same
// ttyUSB0 are one port. Lock files stay in place, so that no program ever
// locks a file another has just unlinked.
class PosixPortClaims final : public PortClaims {
public:
    // COM names are looked up in `portDirectory` (see port_names.hpp).
    explicit PosixPortClaims(std::filesystem::path portDirectory);
    ~PosixPortClaims() override;
    PosixPortClaims(const PosixPortClaims&) = delete;
    PosixPortClaims& operator=(const PosixPortClaims&) = delete;

    Claim claim(std::string_view port) override;
    void release(std::string_view port) override;

private:
    std::filesystem::path portDirectory_;
    // The device each port name held stands for, and the descriptor that
    // holds each device: one program may name a device twice.
    std::map<std::string, std::string, std::less<>> devices_;
    std::map<std::string, int, std::less<>> locks_;
};

}  // namespace dl250t
