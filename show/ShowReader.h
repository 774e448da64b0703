#pragma once
// Little-endian reader of the show file's encodings, over the show's bytes
// in memory, or over a buffer that a ByteSupply fills while it is read.
//
// The reader keeps the first error it meets and from then on every read
// returns zero or empty; callers check Failed() at the points where going on
// would be wasted work (after each item record). A length field that
// announces more bytes than are left fails at once, before anything of that
// size is allocated.

#include "platform/sys/FileDescriptor.h"
#include "platform/sys/Result.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace showsaver {

struct LoadError {
    uint64_t offset = 0;   // byte offset in the file the show was read from
    std::string what;
};

// Scrambling of item texts and embedded file bytes: every byte is stored
// lowered by (length mod 11) + 3, modulo 256.
enum class ScrambleDirection { Reading, Writing };
constexpr int ScrambleShift(uint64_t length) { return static_cast<int>(length % 11) + 3; }
void Scramble(std::span<uint8_t> bytes, ScrambleDirection direction);
// The same for a part of a block of `length` bytes, whose length sets the shift.
void Scramble(std::span<uint8_t> part, ScrambleDirection direction, uint64_t length);

// A block left in the show's file, to be read from there when it is wanted:
// the file, kept open, and where the block starts in it.
struct StoredBlock {
    std::shared_ptr<const sys::FileDescriptor> file;
    uint64_t offset = 0;
};

// Fills a reader's buffer from its start as the reader comes to need it.
class ByteSupply {
public:
    virtual ~ByteSupply() = default;
    // Makes at least the first `count` bytes of the buffer valid (never more
    // than it holds) and returns how many are now, or says why it cannot.
    virtual Result<size_t> Supply(size_t count) = 0;
    // Leaves the `size` bytes of the buffer from `from` in the file: they are
    // not read (and those read already are given back), and the next bytes
    // supplied are the ones after them. Says where the file holds them, or
    // nothing (and leaves them to be read) when this supply cannot.
    virtual std::optional<StoredBlock> Leave(size_t /*from*/, size_t /*size*/) { return std::nullopt; }
};

class ShowReader {
public:
    // `baseOffset` is where `bytes` start in their file, so that errors name
    // file offsets. The bytes must outlive the reader.
    explicit ShowReader(std::span<const uint8_t> bytes, uint64_t baseOffset = 0)
        : m_bytes(bytes), m_filled(bytes.size()), m_baseOffset(baseOffset) {}
    // Over bytes the reader may change and share: `owner` keeps them alive, and
    // scrambled blocks are unscrambled where they lie and handed out as views that
    // share it (ReadScrambledShared). Each byte is read once. With `supply`,
    // only the bytes it has filled are valid at first, and the reader asks it
    // for more as it goes (a failure to supply them fails the reader).
    ShowReader(std::span<uint8_t> bytes, std::shared_ptr<uint8_t[]> owner, uint64_t baseOffset = 0,
               ByteSupply* supply = nullptr, size_t filled = 0)
        : m_bytes(bytes), m_filled(supply ? filled : bytes.size()), m_baseOffset(baseOffset),
          m_owner(std::move(owner)), m_writable(bytes.data()), m_supply(supply) {}

    int32_t ReadInt32() { return static_cast<int32_t>(ReadUInt32()); }
    uint32_t ReadUInt32() {
        if (m_filled - m_next < 4) return ReadUInt32Slowly();
        const uint8_t* b = m_bytes.data() + m_next;
        m_next += 4;
        return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    }
    float ReadFloat();
    // Fills `out` with consecutive int32 values, as ReadInt32 would one by
    // one, checking the length once.
    void ReadInt32s(std::span<int32_t> out);
    // A text with its length prefix in any of its forms. Wide texts
    // (UTF-16LE) are converted to Windows-1252 bytes.
    std::string ReadText();
    // A text as ReadText, unscrambled, into `text`. A short one (the names
    // and labels most items carry) is unscrambled on its way from the
    // buffer, sixteen bytes at once.
    void ReadScrambledText(std::string& text) {
        if (m_filled - m_next > kShortText) {   // the prefix and sixteen bytes are there
            const uint8_t* at = m_bytes.data() + m_next;
            const size_t length = at[0];
            if (length < kShortText) {
                typedef uint8_t Block __attribute__((vector_size(kShortText)));
                Block block, shift;
                std::memcpy(&block, at + 1, kShortText);
                std::memset(&shift, ScrambleShift(length), kShortText);
                block += shift;
                m_next += 1 + length;
                text.assign(reinterpret_cast<const char*>(&block), length);
                return;
            }
        }
        ReadScrambledTextSlowly(text);
    }
    // Fills `out` exactly; fails the reader (and zeroes `out`) when the data
    // ends first.
    void ReadInto(std::span<uint8_t> out);
    // A block of `size` bytes, refused before allocation when fewer remain.
    std::unique_ptr<uint8_t[]> ReadBlock(uint32_t size);
    // The same, unscrambled while it is copied.
    std::unique_ptr<uint8_t[]> ReadScrambledBlock(uint32_t size);
    // The same as bytes that stay valid while the result lives: a view into
    // the reader's own bytes when it has an owner, else a copy.
    std::shared_ptr<const uint8_t> ReadScrambledShared(uint32_t size);
    // Blocks of at least this many bytes stay in the show's file, when the
    // reader's supply can leave them there, until they are wanted.
    static constexpr uint32_t kLeftInFileFrom = uint32_t{256} << 10;
    // Passes over a scrambled block of `size` bytes, left in the file, and
    // says where it is; nothing, with nothing read, when the block is
    // smaller than kLeftInFileFrom, or the supply cannot leave it, or fewer
    // bytes are left (which fails the reader).
    std::optional<StoredBlock> LeaveScrambled(uint32_t size);

    bool Failed() const { return m_failed; }
    const LoadError& Error() const { return m_error; }
    // Records a failure at the current offset; the first one wins. Every
    // later read returns zero.
    void Fail(std::string what);
    uint64_t Offset() const { return m_baseOffset + m_next; }
    uint64_t BaseOffset() const { return m_baseOffset; }
    uint64_t Remaining() const { return m_bytes.size() - m_next; }

    // The two load-wide values item records choose their layout by.
    float FormatVersion() const { return m_formatVersion; }
    float SignatureBVersion() const { return m_signatureBVersion; }
    void SetVersions(float formatVersion, float signatureBVersion) {
        m_formatVersion = formatVersion;
        m_signatureBVersion = signatureBVersion;
    }

private:
    static constexpr size_t kShortText = 16;

    uint32_t ReadUInt32Slowly();
    void ReadScrambledTextSlowly(std::string& text);
    // The next `n` bytes, or null (and the reader failed) when fewer are left.
    const uint8_t* Take(size_t n) {
        if (m_failed || m_filled - m_next < n) return TakeSlowly(n);
        const uint8_t* at = m_bytes.data() + m_next;
        m_next += n;
        return at;
    }
    const uint8_t* TakeSlowly(size_t n);
    // Has the supply fill at least the first `count` bytes; false (and the
    // reader failed) when it cannot.
    bool Fill(size_t count);
    uint64_t ReadLengthPrefix();
    bool CheckLength(uint64_t bytes, const char* what) {
        if (!m_failed && bytes <= Remaining()) return true;
        return FailLength(bytes, what);
    }
    // Fails the reader (unless it has failed already) for a length of
    // `bytes` beyond the end; always false.
    bool FailLength(uint64_t bytes, const char* what);

    std::span<const uint8_t> m_bytes;   // all of them, filled or not
    size_t m_filled;                     // valid bytes from the start; never below m_next
    size_t m_next = 0;
    uint64_t m_baseOffset;
    bool m_failed = false;
    LoadError m_error;
    float m_formatVersion = 0;
    float m_signatureBVersion = 0;
    std::shared_ptr<uint8_t[]> m_owner;
    uint8_t* m_writable = nullptr;   // m_bytes, when the reader owns them
    ByteSupply* m_supply = nullptr;
};

} // namespace showsaver
