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

uint64_t hashOfKey(std::string_view key) noexcept {
    uint64_t h = mix64(0x9e3779b97f4a7c15ULL ^ key.size());
    size_t i = 0;
    for (; i + 8 <= key.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, key.data() + i, sizeof w);
        h = mix64(h ^ w) + 0x9e3779b97f4a7c15ULL;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, key.data() + i, key.size() - i);
    return mix64(h ^ tail);
}

// What two copies share besides their key, read once from each node. Folders (listed when the
// file list shows them) also compare their counts; files have none.
struct Facts {
    int64_t size = 0;
    int32_t modified = 0;
    int32_t files = 0;
    int32_t dirs = 0;
    bool sameAs(const Facts& o, bool byDate) const noexcept {
        return size == o.size && files == o.files && dirs == o.dirs && (!byDate || modified == o.modified);
    }
};

Facts factsOf(const FileNode& n) noexcept {
    return {n.effectiveSize(), n.modifiedDateRaw, n.subFolderFileCount(), n.subFolderDirCount()};
}

void keyOf(const FileNode& n, std::string& out) {
    out.clear();
    auto name = n.nameUnits();
    appendSortKey(cleanParts(name), out);
}

// One node in the sort: the hash of everything copies share, then the date (a group lists its
// members oldest first) and the node's place in the input (equal dates keep the input order).
// Equal hashes are checked against the real keys before they make a group.
struct Entry {
    uint64_t hash;
    int32_t modified;
    uint32_t index;
    bool operator<(const Entry& o) const noexcept {
        if (hash != o.hash) return hash < o.hash;
        if (modified != o.modified) return modified < o.modified;
        return index < o.index;
    }
};
static_assert(sizeof(Entry) == 16, "sixteen bytes a node: ten million of them are sorted at once");

// A group as found, before it is made: its members by input index, and what orders it among the
// groups (key, size, date of its first member).
struct Found {
    std::vector<uint32_t> members;
    std::string key;
    Facts facts;
};

// The groups among the entries [begin, end) that share one hash: nearly always the whole run,
// unless two different keys met in one hash.
void splitRun(std::span<const Entry> run, std::span<FileNode* const> nodes, bool byDate, std::string& scratch,
              std::vector<Found>& out) {
    struct Class {
        std::string key;
        Facts facts;
        std::vector<uint32_t> members;
    };
    std::vector<Class> classes;
    for (const Entry& e : run) {
        const FileNode& n = *nodes[e.index];
        keyOf(n, scratch);
        const Facts f = factsOf(n);
        auto it = std::find_if(classes.begin(), classes.end(),
                               [&](const Class& c) { return c.key == scratch && c.facts.sameAs(f, byDate); });
        if (it == classes.end()) {
            classes.push_back({scratch, f, {}});
            it = classes.end() - 1;
        }
        it->members.push_back(e.index);
    }
    for (Class& c : classes)
        if (c.members.size() >= 2) out.push_back({std::move(c.members), std::move(c.key), c.facts});
}

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

    // One hash per node (empty files never count), made on every processor.
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
            uint64_t h = mix64(hashOfKey(scratch[w]) ^ uint64_t(f.size));
            h = mix64(h ^ (uint64_t(uint32_t(f.files)) << 32 | uint32_t(f.dirs)));
            if (byDate) h = mix64(h ^ uint64_t(uint32_t(f.modified)));
            entries[out++] = {h, f.modified, uint32_t(i)};
        }
        kept[c] = out - c * kChunk;
    }, cancel);
    if (isCancelled(cancel)) return groups;
    size_t size = 0;
    for (size_t c = 0; c < chunks; ++c) {
        std::memmove(entries.data() + size, entries.data() + c * kChunk, kept[c] * sizeof(Entry));
        size += kept[c];
    }
    entries.resize(size);
    entries.shrink_to_fit();
    std::sort(entries.begin(), entries.end());
    if (isCancelled(cancel)) return groups;

    // Runs of one hash, checked against the real keys on every processor.
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    for (size_t b = 0; b < entries.size();) {
        size_t e = b + 1;
        while (e < entries.size() && entries[e].hash == entries[b].hash) ++e;
        if (e - b >= 2) runs.emplace_back(uint32_t(b), uint32_t(e));
        b = e;
    }
    constexpr size_t kRunBatch = 1024;
    std::vector<std::vector<Found>> found((runs.size() + kRunBatch - 1) / kRunBatch);
    parallelFor(found.size(), workers, 1, [&](size_t batch, unsigned w) {
        for (size_t r = batch * kRunBatch, end = std::min(runs.size(), (batch + 1) * kRunBatch); r < end; ++r)
            splitRun(std::span<const Entry>(entries).subspan(runs[r].first, runs[r].second - runs[r].first), nodes,
                     byDate, scratch[w], found[batch]);
    }, cancel);
    if (isCancelled(cancel)) return groups;
    std::vector<Entry>().swap(entries);
    std::vector<std::pair<uint32_t, uint32_t>>().swap(runs);

    // In key order, as the sorted list of every key would give them.
    std::vector<Found*> order;
    for (auto& batch : found)
        for (Found& f : batch) order.push_back(&f);
    std::sort(order.begin(), order.end(), [](const Found* a, const Found* b) {
        if (int c = a->key.compare(b->key); c != 0) return c < 0;
        if (a->facts.size != b->facts.size) return a->facts.size < b->facts.size;
        return a->facts.modified < b->facts.modified;
    });
    groups.reserve(order.size());
    for (Found* f : order) {
        DupGroupRef g = DupGroupRef::make();
        g->members.reserve(f->members.size());
        for (uint32_t i : f->members) g->members.push_back(nodes[i]);
        std::vector<uint32_t>().swap(f->members);
        groups.push_back(std::move(g));
    }
    return groups;
}

}  // namespace zelvane
