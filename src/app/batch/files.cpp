// The parts of the file-system side that are the same on every platform.
#include "app/batch/files.hpp"

namespace qm::batch {

TemporaryNames::TemporaryNames()
    : Owner(platform::currentProcess()), Random(std::random_device{}()) {}

std::string TemporaryNames::next() {
    std::uint64_t random = 0;
    {
        std::lock_guard lock(Lock);
        random = Random();
    }
    return temporaryFileName(Owner, random);
}

int removeLeftoverTemporaries(const Directory &dir,
                              const std::set<std::string, CaseBlindLess> &names) {
    int removed = 0;
    for (const std::string &name : names) {
        const std::optional<platform::ProcessIdentity> owner = temporaryFileOwner(name);
        if (!owner || platform::processIsRunning(*owner)) continue;
        if (removeQuietly(dir, name)) ++removed;
    }
    return removed;
}

// Moving and releasing a handle are the same on every system; closing it is not (reset()).
UniqueHandle &UniqueHandle::operator=(UniqueHandle &&other) noexcept {
    if (this != &other) {
        reset();
        Handle = other.release();
    }
    return *this;
}

NativeHandle UniqueHandle::release() {
    const NativeHandle handle = Handle;
    Handle = NoHandle;
    return handle;
}

} // namespace qm::batch
