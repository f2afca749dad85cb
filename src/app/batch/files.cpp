// The parts of the file-system side that are the same on every platform.
#include "app/batch/files.hpp"

#include <algorithm>

namespace qm::batch {

TemporaryNames::TemporaryNames() : TemporaryNames(platform::currentProcess()) {}

TemporaryNames::TemporaryNames(const platform::ProcessIdentity &owner)
    : Owner(owner), Random(std::random_device{}()) {}

std::string TemporaryNames::next() {
    std::uint64_t random = 0;
    {
        std::lock_guard lock(Lock);
        random = Random();
    }
    return temporaryFileName(Owner, random);
}

void readInputBytes(
    InputFile &input,
    const std::function<ReadResult(std::uint8_t *into, std::size_t room)> &readSome) {
    input.Bytes.resize(static_cast<std::size_t>(input.Size) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == input.Bytes.size()) {
            if (filled > MaxInputBytes) break;
            input.Bytes.resize(std::min<std::size_t>(filled * 2 + 4096, MaxInputBytes + 1));
        }
        const ReadResult got = readSome(input.Bytes.data() + filled, input.Bytes.size() - filled);
        if (got.Error != 0) {
            input.Status = InputStatus::Failed;
            input.Error = got.Error;
            input.Bytes.clear();
            return;
        }
        if (got.Bytes == 0) break;
        filled += got.Bytes;
    }
    if (filled > MaxInputBytes) {
        input.Status = InputStatus::TooLarge;
        input.Size = filled;
        input.Bytes.clear();
        return;
    }
    input.Bytes.resize(filled);
    input.Status = InputStatus::Ok;
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
