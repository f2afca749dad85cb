#include <memory>

#include "app/batch/files.hpp"
#include "app/batch/naming.hpp"
#include "app/batch/run.hpp"

namespace qm::batch {

std::optional<std::int64_t> countNwFiles(const std::filesystem::path &source,
                                         std::chrono::milliseconds budget) {
    const auto deadline = std::chrono::steady_clock::now() + budget;
    PathKind kind{};
    if (pathKind(source, kind) != 0) return std::nullopt;
    if (kind != PathKind::Directory) return okFileName(pathText(source.filename())) ? 1 : 0;
    // The same walk as the run's, without opening a file: directories that are not links,
    // each opened only when its turn comes, so a wide tree holds few descriptors.
    struct Pending {
        std::shared_ptr<Directory> Parent;
        std::string Name;
    };
    int error = 0;
    auto root = std::make_shared<Directory>(Directory::open(source, error));
    std::vector<Pending> pending;
    std::int64_t count = 0;
    for (std::shared_ptr<Directory> dir = root; dir;) {
        if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
        DirectoryListing listing;
        if (dir->valid() && listDirectory(*dir, listing) == 0) {
            for (const std::string &name : listing.Files)
                count += okFileName(name) ? 1 : 0;
            for (std::string &name : listing.Subdirectories)
                pending.push_back({dir, std::move(name)});
        }
        dir = nullptr;
        if (pending.empty()) break;
        dir = std::make_shared<Directory>(
            pending.back().Parent->openSubdirectory(pending.back().Name, error));
        pending.pop_back();
    }
    return count;
}

} // namespace qm::batch
