#include "ScanEngine/Analysis/DuplicateDetection.hpp"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

#include "ScanEngine/Support/ParallelFor.hpp"
#include "ScanEngine/Tree/NameCoding.hpp"

namespace zelvane {
namespace {

bool isAscii(std::u16string_view s) {
    for (char16_t u : s)
        if (u >= 0x80) return false;
    return true;
}

bool endsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view lowerSuffix) {
    if (text.size() < lowerSuffix.size()) return false;
    auto tail = text.substr(text.size() - lowerSuffix.size());
    for (size_t i = 0; i < tail.size(); ++i) {
        char16_t c = tail[i];
        if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
        if (c != lowerSuffix[i]) return false;
    }
    return true;
}

size_t lastIndexIgnoringAsciiCase(std::u16string_view text, std::u16string_view lowerNeedle) {
    if (text.size() < lowerNeedle.size()) return std::u16string_view::npos;
    for (size_t i = text.size() - lowerNeedle.size() + 1; i-- > 0;)
        if (endsWithIgnoringAsciiCase(text.substr(0, i + lowerNeedle.size()), lowerNeedle)) return i;
    return std::u16string_view::npos;
}

// A decimal integer of at least 1: optional sign, ASCII digits only, within 64 bits.
bool isPositiveInteger(std::u16string_view s) {
    size_t i = 0;
    bool negative = false;
    if (!s.empty() && (s[0] == u'+' || s[0] == u'-')) {
        negative = s[0] == u'-';
        i = 1;
    }
    if (i == s.size()) return false;
    uint64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < u'0' || s[i] > u'9') return false;
        if (v > (uint64_t(INT64_MAX) - uint64_t(s[i] - u'0')) / 10) return false;
        v = v * 10 + uint64_t(s[i] - u'0');
    }
    return !negative && v >= 1;
}

std::u16string lowerCased(std::u16string_view s) {
    if (isAscii(s)) {
        std::u16string out(s);
        for (char16_t& u : out)
            if (u >= u'A' && u <= u'Z') u = char16_t(u + 32);
        return out;
    }
    icu::UnicodeString us(false, reinterpret_cast<const UChar*>(s.data()), int32_t(s.size()));
    icu::UnicodeString lower(us);
    lower.toLower(icu::Locale::getRoot());
    return std::u16string(reinterpret_cast<const char16_t*>(lower.getBuffer()), size_t(lower.length()));
}

// The name split at its last "." with the copy decoration taken off the base; views into the name.
struct CleanedParts {
    std::u16string_view base;
    std::u16string_view ext;
};

CleanedParts cleanParts(std::u16string_view name) {
    size_t dot = name.rfind(u'.');
    std::u16string_view base = dot == std::u16string_view::npos ? name : name.substr(0, dot);
    std::u16string_view ext = dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot);

    // " (N)" with N >= 1 and a space before the parenthesis.
    if (base.size() >= 4 && base.back() == u')') {
        size_t open = base.rfind(u'(');
        if (open != std::u16string_view::npos && open > 0 && base[open - 1] == u' ' &&
            isPositiveInteger(base.substr(open + 1, base.size() - open - 2)))
            base = base.substr(0, open - 1);
    }
    if (endsWithIgnoringAsciiCase(base, u" - copy")) base.remove_suffix(7);
    if (endsWithIgnoringAsciiCase(base, u" copy")) {
        base.remove_suffix(5);
    } else {
        size_t at = lastIndexIgnoringAsciiCase(base, u" copy ");
        if (at != std::u16string_view::npos && isPositiveInteger(base.substr(at + 6))) base = base.substr(0, at);
    }
    return {base, ext};
}

// Keys compare as their canonically composed form, in scalar order: appended as UTF-8, whose byte
// order is scalar order. Plain ASCII names, the common case, need neither ICU nor a copy.
void appendSortKey(const CleanedParts& parts, std::string& out) {
    if (isAscii(parts.base) && isAscii(parts.ext)) {
        for (std::u16string_view piece : {parts.base, parts.ext})
            for (char16_t u : piece) out.push_back(char(u >= u'A' && u <= u'Z' ? u + 32 : u));
        return;
    }
    std::u16string joined(parts.base);
    joined.append(parts.ext);
    std::u16string lower = lowerCased(joined);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    icu::UnicodeString us(false, reinterpret_cast<const UChar*>(lower.data()), int32_t(lower.size()));
    if (U_SUCCESS(status)) {
        icu::UnicodeString composed = nfc->normalize(us, status);
        if (U_SUCCESS(status)) {
            appendNameBytes(std::u16string_view(reinterpret_cast<const char16_t*>(composed.getBuffer()),
                                                size_t(composed.length())),
                            out);
            return;
        }
    }
    appendNameBytes(lower, out);
}

// 64-bit finaliser: every input bit reaches every output bit.
inline uint64_t mix64(uint64_t x) noexcept {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

// Two independent hashes of one key, in one pass over its bytes.
std::pair<uint64_t, uint64_t> hashesOfKey(std::string_view key) noexcept {
    uint64_t a = mix64(0x9e3779b97f4a7c15ULL ^ key.size());
    uint64_t b = mix64(0x6a09e667f3bcc909ULL + key.size());
    size_t i = 0;
    for (; i + 8 <= key.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, key.data() + i, sizeof w);
        a = mix64(a ^ w) + 0x9e3779b97f4a7c15ULL;
        b = mix64(b + w) ^ 0xbb67ae8584caa73bULL;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, key.data() + i, key.size() - i);
    return {mix64(a ^ tail), mix64(b + tail)};
}

// What copies share besides their key, read once from each node: the size, and the counts of a
// folder (listed when the file list shows folders; files have none).
struct Facts {
    int64_t size = 0;
    int32_t files = 0;
    int32_t dirs = 0;
};

Facts factsOf(const FileNode& n) noexcept { return {n.effectiveSize(), n.subFolderFileCount(), n.subFolderDirCount()}; }

void keyOf(const FileNode& n, std::string& out) {
    out.clear();
    auto name = n.nameUnits();
    appendSortKey(cleanParts(name), out);
}

// One node in the sort: 96 bits of fingerprint of everything copies share (key, size, counts and,
// by date, the date) and the node's place in the input. Equal fingerprints are equal keys: among
// ten million files two different keys meet in one fingerprint with a chance below 1e-15, and
// reading every name a second time to rule it out would cost as much as the rest together.
struct Entry {
    uint64_t hash;
    uint32_t check;
    uint32_t index;
    bool operator<(const Entry& o) const noexcept {
        if (hash != o.hash) return hash < o.hash;
        if (check != o.check) return check < o.check;
        return index < o.index;
    }
    bool sameFingerprint(const Entry& o) const noexcept { return hash == o.hash && check == o.check; }
};
static_assert(sizeof(Entry) == 16, "sixteen bytes a node: ten million of them are sorted at once");

// A group as made, with what orders it among the others: its key (in its batch's buffer), size
// and oldest date. The keys of a batch share one buffer, so that no small string is left behind
// between the groups when they go.
struct Made {
    DupGroupRef group;
    int64_t size = 0;
    uint32_t keyOffset = 0;
    uint32_t keyLength = 0;
    uint32_t batch = 0;
    int32_t modified = 0;
};
static_assert(sizeof(Made) == 32, "a million groups are ordered at once");

}  // namespace

std::optional<DuplicateMethod> duplicateMethodFromRaw(int raw) {
    if (raw < 0 || raw > 2) return std::nullopt;
    return DuplicateMethod(raw);
}

std::u16string cleanedFilenameForDupMatch(std::u16string_view name) {
    CleanedParts parts = cleanParts(name);
    std::u16string joined(parts.base);
    joined.append(parts.ext);
    return lowerCased(joined);
}

std::string cleanedFilenameForDupMatch(std::string_view nameUTF8) {
    return encodeNameBytes(cleanedFilenameForDupMatch(std::u16string_view(decodeNameUTF8(nameUTF8))));
}

std::vector<DupGroupRef> detectDuplicates(std::span<FileNode* const> nodes, DuplicateMethod method,
                                          const CancelFlag* cancel) {
    std::vector<DupGroupRef> groups;
    if (method == DuplicateMethod::none || nodes.empty()) return groups;
    const bool byDate = method == DuplicateMethod::nameSizeDate;
    const size_t count = std::min<size_t>(nodes.size(), std::numeric_limits<uint32_t>::max());
    const unsigned workers = parallelWorkerCount();

    // One fingerprint per node (empty files never count), made on every processor, each chunk
    // packed to its start.
    constexpr size_t kChunk = 8192;
    const size_t chunks = (count + kChunk - 1) / kChunk;
    std::vector<Entry> entries(count);
    std::vector<size_t> kept(chunks);
    std::vector<std::string> scratch(workers);
    parallelFor(chunks, workers, 1, [&](size_t c, unsigned w) {
        size_t out = c * kChunk;
        for (size_t i = c * kChunk, end = std::min(count, (c + 1) * kChunk); i < end; ++i) {
            const FileNode& n = *nodes[i];
            const Facts f = factsOf(n);
            if (f.size == 0) continue;
            keyOf(n, scratch[w]);
            auto [a, b] = hashesOfKey(scratch[w]);
            uint64_t facts = mix64(uint64_t(f.size)) ^ (uint64_t(uint32_t(f.files)) << 32 | uint32_t(f.dirs));
            if (byDate) facts = mix64(facts) ^ uint64_t(uint32_t(n.modifiedDateRaw));
            a = mix64(a ^ facts);
            b = mix64(b + mix64(facts ^ 0x3c6ef372fe94f82bULL));
            entries[out++] = {a, uint32_t(b >> 32), uint32_t(i)};
        }
        kept[c] = out - c * kChunk;
    }, cancel);
    if (isCancelled(cancel)) return groups;
    size_t size = 0;
    for (size_t c = 0; c < chunks; ++c) {
        std::memmove(entries.data() + size, entries.data() + c * kChunk, kept[c] * sizeof(Entry));
        size += kept[c];
    }
    // Left at its full length: a shorter copy would cost the whole buffer a second time.
    const std::span<Entry> sorted(entries.data(), size);
    std::sort(sorted.begin(), sorted.end());
    if (isCancelled(cancel)) return groups;

    // Every run of one fingerprint is a group. Only the members' places are kept, run after run,
    // and the fingerprints are freed before the groups are made.
    const auto runEnd = [&](size_t b) {
        size_t e = b + 1;
        while (e < sorted.size() && sorted[e].sameFingerprint(sorted[b])) ++e;
        return e;
    };
    size_t runCount = 0, memberCount = 0;
    for (size_t b = 0, e = 0; b < sorted.size(); b = e) {
        e = runEnd(b);
        if (e - b >= 2) ++runCount, memberCount += e - b;
    }
    std::vector<uint32_t> memberIndex;
    std::vector<uint32_t> runStart;  // each run's first member in `memberIndex`, then its end
    memberIndex.reserve(memberCount);
    runStart.reserve(runCount + 1);
    for (size_t b = 0, e = 0; b < sorted.size(); b = e) {
        e = runEnd(b);
        if (e - b < 2) continue;
        runStart.push_back(uint32_t(memberIndex.size()));
        for (size_t i = b; i < e; ++i) memberIndex.push_back(sorted[i].index);
    }
    runStart.push_back(uint32_t(memberIndex.size()));
    std::vector<Entry>().swap(entries);

    // Each group's members oldest first, equal dates in input order, made on every processor
    // with the key that orders it.
    constexpr size_t kRunBatch = 2048;
    std::vector<Made> made(runCount);
    std::vector<std::string> keys((runCount + kRunBatch - 1) / kRunBatch);
    parallelFor(keys.size(), workers, 1, [&](size_t batch, unsigned w) {
        const size_t begin = batch * kRunBatch, end = std::min(runCount, (batch + 1) * kRunBatch);
        DupGroupBatch groupBatch(end - begin, runStart[end] - runStart[begin]);
        std::vector<std::pair<int32_t, uint32_t>> members;
        std::vector<FileNode*> ordered;
        for (size_t r = begin; r < end; ++r) {
            members.clear();
            for (uint32_t m = runStart[r]; m < runStart[r + 1]; ++m)
                members.emplace_back(nodes[memberIndex[m]]->modifiedDateRaw, memberIndex[m]);
            std::sort(members.begin(), members.end());
            ordered.clear();
            for (const auto& [date, index] : members) ordered.push_back(nodes[index]);
            Made& m = made[r];
            m.group = groupBatch.add(ordered);
            const FileNode& first = *ordered.front();
            keyOf(first, scratch[w]);
            m.batch = uint32_t(batch);
            m.keyOffset = uint32_t(keys[batch].size());
            m.keyLength = uint32_t(scratch[w].size());
            keys[batch] += scratch[w];
            m.size = first.effectiveSize();
            m.modified = members.front().first;
        }
    }, cancel);
    if (isCancelled(cancel)) return groups;
    std::vector<uint32_t>().swap(memberIndex);
    std::vector<uint32_t>().swap(runStart);

    // In key order, as a sorted list of every key would give them.
    const auto keyOfMade = [&](const Made& m) { return std::string_view(keys[m.batch]).substr(m.keyOffset, m.keyLength); };
    std::sort(made.begin(), made.end(), [&](const Made& a, const Made& b) {
        if (int c = keyOfMade(a).compare(keyOfMade(b)); c != 0) return c < 0;
        if (a.size != b.size) return a.size < b.size;
        return a.modified < b.modified;
    });
    groups.reserve(made.size());
    for (Made& m : made) groups.push_back(std::move(m.group));
    return groups;
}

}  // namespace zelvane
