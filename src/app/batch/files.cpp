// The parts of the file-system side that are the same on every platform.
#include "app/batch/files.hpp"

namespace qm::batch {

TemporaryNames::TemporaryNames()
    : Owner(platform::currentProcess()), Random(std::random_device{}()) {}

std::string TemporaryNames::next() { return temporaryFileName(Owner, Random()); }

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

} // namespace qm::batch
