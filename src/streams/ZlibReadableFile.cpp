#include "streams/ZlibReadableFile.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "streams/OLEStream.h"
#include "streams/ThrowZlibError.h"

namespace {
constexpr std::size_t kInputChunk = 64 << 10;
}  // namespace

// One inflater: zlib's state with its window, and where it stands in the compressed input and
// in the output. A copy kept as a checkpoint holds no unread input.
class Inflater {
public:
    Inflater() {
        if (const int result = inflateInit(&z); result != Z_OK) {
            ThrowZlibError(result, z.msg);
        }
    }
    explicit Inflater(const Inflater& from) : in(from.in - from.z.avail_in), out(from.out) {
        if (const int result = inflateCopy(&z, const_cast<z_stream*>(&from.z)); result != Z_OK) {
            ThrowZlibError(result, z.msg);
        }
        z.next_in = nullptr;
        z.avail_in = 0;
        ended = from.ended;
    }
    Inflater& operator=(const Inflater&) = delete;
    ~Inflater() { inflateEnd(&z); }

    z_stream z{};
    std::uint64_t in = 0;   // compressed bytes taken from the source
    std::uint64_t out = 0;  // bytes inflated
    bool ended = false;     // the end marker, or the end of the input, was reached
    std::vector<std::uint8_t> input;
};

ZlibReadableFile::ZlibReadableFile(std::unique_ptr<OLEStream> source, std::uint64_t offset,
                                   std::uint64_t length)
    : source_(std::move(source)), offset_(offset), length_(length) {}

ZlibReadableFile::~ZlibReadableFile() = default;

std::uint64_t ZlibReadableFile::measure(std::uint64_t limit) {
    trim();
    restart(0);
    std::vector<std::uint8_t> scratch(kBlockBytes);
    while (!live_->ended && live_->out < limit) {
        inflateBlock(scratch.data());
    }
    size_ = std::min(live_->out, limit);
    return size_;
}

int ZlibReadableFile::readAt(std::uint64_t offset, void* buffer, std::size_t count,
                             std::size_t* bytesRead) {
    *bytesRead = 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (count > 0 && offset < size_) {
        const Block& found = block(offset / kBlockBytes);
        const std::size_t within = static_cast<std::size_t>(offset % kBlockBytes);
        if (within >= found.bytes.size()) {
            break;
        }
        const std::size_t take = static_cast<std::size_t>(
            std::min<std::uint64_t>({count, found.bytes.size() - within, size_ - offset}));
        std::memcpy(out, found.bytes.data() + within, take);
        out += take;
        offset += take;
        count -= take;
        *bytesRead += take;
    }
    return 0;
}

void ZlibReadableFile::trim() {
    live_.reset();
    checkpoints_.clear();
    cache_.clear();
}

const ZlibReadableFile::Block& ZlibReadableFile::block(std::uint64_t index) {
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        if (it->index == index) {
            cache_.splice(cache_.begin(), cache_, it);
            return cache_.front();
        }
    }
    const std::uint64_t target = index * kBlockBytes;
    restart(target);
    Block next{0, {}};
    if (cache_.size() == kCachedBlocks) {
        next = std::move(cache_.back());
        cache_.pop_back();
    }
    for (;;) {
        if (live_->ended) {
            next.bytes.clear();  // the block lies beyond the end
            break;
        }
        const bool wanted = live_->out == target;
        next.bytes.resize(kBlockBytes);
        next.bytes.resize(inflateBlock(next.bytes.data()));
        if (wanted) {
            break;
        }
    }
    next.index = index;
    cache_.push_front(std::move(next));
    return cache_.front();
}

std::size_t ZlibReadableFile::inflateBlock(std::uint8_t* out) {
    Inflater& live = *live_;
    z_stream& z = live.z;
    z.next_out = out;
    z.avail_out = static_cast<uInt>(kBlockBytes);
    while (z.avail_out > 0) {
        if (z.avail_in == 0) {
            if (live.in == length_) {
                live.ended = true;
                break;
            }
            live.input.resize(kInputChunk);
            source_->seek(static_cast<std::int64_t>(offset_ + live.in), SeekOrigin::Begin);
            const std::size_t got = source_->read(
                live.input.data(),
                static_cast<std::size_t>(std::min<std::uint64_t>(kInputChunk, length_ - live.in)));
            live.in += got;
            z.next_in = live.input.data();
            z.avail_in = static_cast<uInt>(got);
        }
        const int result = inflate(&z, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            live.ended = true;
            break;
        }
        if (result != Z_OK) {
            ThrowZlibError(result, z.msg);
        }
    }
    const std::size_t produced = kBlockBytes - z.avail_out;
    z.next_out = nullptr;
    z.avail_out = 0;
    live.out += produced;
    inflatedBytes_ += produced;
    if (!live.ended) {
        keepCheckpoint();
    }
    return produced;
}

// Goes on with the live inflater when it stands at or before `target` and no checkpoint lies
// between; otherwise starts from the nearest checkpoint at or before it, or from the beginning.
void ZlibReadableFile::restart(std::uint64_t target) {
    const Inflater* nearest = nullptr;
    for (const std::unique_ptr<Inflater>& checkpoint : checkpoints_) {
        if (checkpoint->out <= target) {
            nearest = checkpoint.get();
        }
    }
    if (live_ && live_->out <= target && (nearest == nullptr || nearest->out <= live_->out)) {
        return;
    }
    live_ =
        nearest != nullptr ? std::make_unique<Inflater>(*nearest) : std::make_unique<Inflater>();
}

// Copies the live inflater at every multiple of the spacing it passes for the first time. When
// the copies reach their limit, the spacing doubles and every other copy goes.
void ZlibReadableFile::keepCheckpoint() {
    const std::uint64_t at = live_->out;
    if (at % checkpointSpacing_ != 0 || (!checkpoints_.empty() && checkpoints_.back()->out >= at)) {
        return;
    }
    if (checkpoints_.size() == kMaxCheckpoints) {
        checkpointSpacing_ *= 2;
        checkpoints_.erase(std::remove_if(checkpoints_.begin(), checkpoints_.end(),
                                          [this](const std::unique_ptr<Inflater>& checkpoint) {
                                              return checkpoint->out % checkpointSpacing_ != 0;
                                          }),
                           checkpoints_.end());
        if (at % checkpointSpacing_ != 0) {
            return;
        }
    }
    checkpoints_.push_back(std::make_unique<Inflater>(*live_));
}
