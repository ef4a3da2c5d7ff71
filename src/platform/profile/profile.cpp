// Profile files: the format, the read cache and the write batch. The OS part
// (whole-file read, folder lock, atomic replace) is in the backend.
//
// A file is kept as its bytes plus an index of the lines that matter (section
// headers and key lines); edits are spliced into the bytes when the file is
// written, so every line that was not edited comes out byte for byte.
#include "platform/profile/profile.h"

#include <chrono>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/codepage/codepage.h"
#include "platform/files/files.h"
#include "platform/profile/profile_backend.h"

namespace hovane::platform {
namespace {

// Offsets into a file are 32-bit to keep the index small.
static_assert(kMaxProfileFileBytes < UINT32_MAX);

constexpr std::uint32_t kNone = UINT32_MAX;
constexpr std::string_view kLineBreak = "\r\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The callers' text is a C string in the original system: it ends at its
// first NUL.
std::string_view CutAtNul(std::string_view text) { return text.substr(0, text.find('\0')); }

// First ch that is a character of its own, not the trail byte of a
// double-byte character (in 932, ']' is also a trail byte).
std::size_t FindFirstChar(std::string_view text, char ch) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    if (text[i] == ch) return i;
  }
  return std::string_view::npos;
}

// True when the last byte of text is a lead byte without its trail byte.
bool EndsInsideCharacter(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(text[i])) && ++i == text.size()) return true;
  }
  return false;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// A value as a read returns it: without surrounding blanks and without one
// pair of matching quotes around the whole of it, cut to the caller's buffer.
std::string ValueAsRead(std::string_view raw, std::size_t bufferSize) {
  std::string_view value = TrimBlanks(raw);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  if (bufferSize == 0) return {};
  return std::string(value.substr(0, bufferSize - 1));
}

// --- the parse of one file -------------------------------------------------

// The bytes of one version of a file and the index of its sections and keys.
// Immutable once built, so the cache and any number of batches share it.
//
// Lines end at LF; a CR just before the LF belongs to the break. A line whose
// first non-blank byte is '[' is a section header; the name runs to the
// first ']' or, without one, to the end of the line. In a section, a line
// holding '=' is a key line, split at its first '='; other lines are kept
// but mean nothing, and so are all lines before the first header. Only the
// first section of a name and the first key of a name within it count, as
// lookups stop at the first match; later duplicates are kept as bytes.
class ProfileText {
 public:
  struct Section {
    std::uint32_t firstKey;  // its keys are keys_[firstKey, firstKey + keyCount)
    std::uint32_t keyCount;
    std::uint32_t insertAt;  // where a new key goes: after its last key line
  };
  struct Key {
    std::uint32_t valueBegin;  // the value without surrounding blanks
    std::uint32_t valueEnd;
    std::uint32_t lineEnd;  // where the line's break (if any) starts
  };

  explicit ProfileText(std::string content)
      : content_(std::move(content)), upper_(UpperCase(content_)) {
    Index();
  }
  ProfileText(const ProfileText&) = delete;
  ProfileText& operator=(const ProfileText&) = delete;

  const std::string& content() const { return content_; }
  const std::vector<Section>& sections() const { return sections_; }
  const std::vector<Key>& keys() const { return keys_; }

  std::uint32_t FindSection(std::string_view upperName) const {
    auto found = sectionIndex_.find(upperName);
    return found == sectionIndex_.end() ? kNone : found->second;
  }
  std::uint32_t FindKey(std::uint32_t section, std::string_view upperName) const {
    auto found = keyIndex_.find(SectionKey{section, upperName});
    return found == keyIndex_.end() ? kNone : found->second;
  }
  std::string_view RawValue(std::uint32_t key) const {
    const Key& k = keys_[key];
    return std::string_view(content_).substr(k.valueBegin, k.valueEnd - k.valueBegin);
  }

 private:
  struct SectionKey {
    std::uint32_t section;
    std::string_view upperName;
    bool operator==(const SectionKey&) const = default;
  };
  struct SectionKeyHash {
    std::size_t operator()(const SectionKey& key) const {
      return std::hash<std::string_view>()(key.upperName) ^
             (static_cast<std::size_t>(key.section) * 0x9E3779B97F4A7C15ull);
    }
  };

  // Names are looked up in upper_, the whole file upper-cased at once: the
  // case change keeps every byte's offset, and every name starts on a
  // character boundary (a line's first byte, or after '[' and blanks), so a
  // name's range of upper_ is exactly UpperCase(name).
  std::string_view Upper(std::size_t begin, std::size_t end) const {
    return std::string_view(upper_).substr(begin, end - begin);
  }

  void Index() {
    const std::string_view text(content_);
    std::uint32_t current = kNone;  // the section being filled, if it counts
    std::size_t pos = 0;
    while (pos < text.size()) {
      std::size_t lineEnd = text.find('\n', pos);
      std::size_t next = lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
      if (lineEnd == std::string_view::npos) {
        lineEnd = text.size();
      } else if (lineEnd > pos && text[lineEnd - 1] == '\r') {
        --lineEnd;
      }
      std::size_t first = pos;
      while (first < lineEnd && IsBlank(text[first])) ++first;

      if (first < lineEnd && text[first] == '[') {
        const std::string_view rest = text.substr(first + 1, lineEnd - first - 1);
        std::size_t close = FindFirstChar(rest, ']');
        if (close == std::string_view::npos) close = rest.size();
        const auto [begin, end] = TrimmedRange(first + 1, first + 1 + close);
        auto [entry, added] =
            sectionIndex_.emplace(Upper(begin, end), static_cast<std::uint32_t>(sections_.size()));
        if (added) {
          sections_.push_back(
              {static_cast<std::uint32_t>(keys_.size()), 0, static_cast<std::uint32_t>(next)});
          current = entry->second;
        } else {
          current = kNone;
        }
      } else if (current != kNone) {
        const std::size_t equals = text.substr(first, lineEnd - first).find('=');
        if (equals != std::string_view::npos) {
          const auto [nameBegin, nameEnd] = TrimmedRange(first, first + equals);
          const auto [valueBegin, valueEnd] = TrimmedRange(first + equals + 1, lineEnd);
          Section& section = sections_[current];
          if (keyIndex_
                  .emplace(SectionKey{current, Upper(nameBegin, nameEnd)},
                           static_cast<std::uint32_t>(keys_.size()))
                  .second) {
            keys_.push_back({static_cast<std::uint32_t>(valueBegin),
                             static_cast<std::uint32_t>(valueEnd),
                             static_cast<std::uint32_t>(lineEnd)});
            ++section.keyCount;
          }
          section.insertAt = static_cast<std::uint32_t>(next);
        }
      }
      pos = next;
    }
  }

  std::pair<std::size_t, std::size_t> TrimmedRange(std::size_t begin, std::size_t end) const {
    while (begin < end && IsBlank(content_[begin])) ++begin;
    while (end > begin && IsBlank(content_[end - 1])) --end;
    return {begin, end};
  }

  const std::string content_;
  const std::string upper_;
  std::vector<Section> sections_;
  std::vector<Key> keys_;
  std::unordered_map<std::string_view, std::uint32_t> sectionIndex_;
  std::unordered_map<SectionKey, std::uint32_t, SectionKeyHash> keyIndex_;
};

std::shared_ptr<const ProfileText> EmptyText() {
  static const auto empty = std::make_shared<const ProfileText>(std::string());
  return empty;
}

// --- edits over a parse -----------------------------------------------------

// One write: names trimmed and checked, everything cut at its first NUL.
struct Edit {
  std::string section;
  std::string key;
  std::string value;
};

// Refuses what would not read back as written: a section name holding ']'
// would end its header early, a key holding '=' would split early, a key
// starting with '[' would read as a header, a line break would end the line,
// and a section name ending in half a double-byte character would take the
// closing ']' as its trail byte.
std::optional<Edit> MakeEdit(std::string_view section, std::string_view key,
                             std::string_view value) {
  section = TrimBlanks(CutAtNul(section));
  key = TrimBlanks(CutAtNul(key));
  value = CutAtNul(value);
  if (HasLineBreak(section) || FindFirstChar(section, ']') != std::string_view::npos ||
      EndsInsideCharacter(section))
    return std::nullopt;
  if (HasLineBreak(key) || key.find('=') != std::string_view::npos ||
      (!key.empty() && key.front() == '['))
    return std::nullopt;
  if (HasLineBreak(value)) return std::nullopt;
  return Edit{std::string(section), std::string(key), std::string(value)};
}

// A parse plus edits not yet written. Sections are numbered: those of the
// parse first, then the ones the edits add, in the order they were added.
class EditedProfile {
 public:
  explicit EditedProfile(std::shared_ptr<const ProfileText> base) : base_(std::move(base)) {}

  const ProfileText& base() const { return *base_; }

  void DropEdits() { *this = EditedProfile(std::move(base_)); }

  void Set(const Edit& edit) {
    const std::string upperSection = UpperCase(edit.section);
    const std::string upperKey = UpperCase(edit.key);
    std::uint32_t section = base_->FindSection(upperSection);
    if (section != kNone) {
      const std::uint32_t key = base_->FindKey(section, upperKey);
      if (key != kNone) {
        replaced_[key] = edit.value;
        return;
      }
    } else {
      auto found = addedSectionIndex_.find(upperSection);
      if (found != addedSectionIndex_.end()) {
        section = found->second;
      } else {
        section = static_cast<std::uint32_t>(base_->sections().size() + addedSections_.size());
        addedSections_.push_back(edit.section);
        addedSectionIndex_.emplace(upperSection, section);
      }
    }
    std::vector<AddedKey>& keys = addedKeys_[section];
    auto [entry, added] = addedKeyIndex_.emplace(KeyTag(section, upperKey), keys.size());
    if (added)
      keys.push_back({edit.key, edit.value});
    else
      keys[entry->second].value = edit.value;
  }

  // The raw value of a key, as it is in the file or as last set.
  std::optional<std::string_view> Find(std::string_view upperSection,
                                       std::string_view upperKey) const {
    std::uint32_t section = base_->FindSection(upperSection);
    if (section != kNone) {
      const std::uint32_t key = base_->FindKey(section, upperKey);
      if (key != kNone) {
        auto edited = replaced_.find(key);
        if (edited != replaced_.end()) return edited->second;
        return base_->RawValue(key);
      }
    } else {
      auto found = addedSectionIndex_.find(std::string(upperSection));
      if (found == addedSectionIndex_.end()) return std::nullopt;
      section = found->second;
    }
    if (addedKeyIndex_.empty()) return std::nullopt;
    auto found = addedKeyIndex_.find(KeyTag(section, upperKey));
    if (found == addedKeyIndex_.end()) return std::nullopt;
    return addedKeys_.at(section)[found->second].value;
  }

  // The file with the edits applied: one pass over the parse's sections in
  // file order, copying the bytes between the places that change.
  std::string Serialise() const {
    const std::string& text = base_->content();
    std::string out;
    out.reserve(text.size() + EstimatedGrowth());
    std::size_t cursor = 0;
    const auto& sections = base_->sections();
    const auto& keys = base_->keys();
    for (std::uint32_t s = 0; s < sections.size(); ++s) {
      const ProfileText::Section& section = sections[s];
      if (!replaced_.empty()) {
        for (std::uint32_t k = section.firstKey; k < section.firstKey + section.keyCount; ++k) {
          auto edited = replaced_.find(k);
          if (edited == replaced_.end()) continue;
          // The line keeps everything up to its value: indentation, the
          // key's own spelling and the blanks around '='.
          out.append(text, cursor, keys[k].valueBegin - cursor);
          out += edited->second;
          cursor = keys[k].lineEnd;
        }
      }
      auto added = addedKeys_.find(s);
      if (added == addedKeys_.end()) continue;
      out.append(text, cursor, section.insertAt - cursor);
      cursor = section.insertAt;
      // Only the file's last line can lack a break.
      if (text[cursor - 1] != '\n') out += kLineBreak;
      AppendKeys(added->second, out);
    }
    out.append(text, cursor);
    for (std::size_t a = 0; a < addedSections_.size(); ++a) {
      if (!out.empty() && out.back() != '\n') out += kLineBreak;
      out += '[';
      out += addedSections_[a];
      out += ']';
      out += kLineBreak;
      AppendKeys(addedKeys_.at(static_cast<std::uint32_t>(sections.size() + a)), out);
    }
    return out;
  }

 private:
  struct AddedKey {
    std::string name;
    std::string value;
  };

  static std::string KeyTag(std::uint32_t section, std::string_view upperKey) {
    std::string tag(reinterpret_cast<const char*>(&section), sizeof section);
    tag += upperKey;
    return tag;
  }

  static void AppendKeys(const std::vector<AddedKey>& keys, std::string& out) {
    for (const AddedKey& key : keys) {
      out += key.name;
      out += '=';
      out += key.value;
      out += kLineBreak;
    }
  }

  std::size_t EstimatedGrowth() const {
    std::size_t bytes = 0;
    for (const auto& [key, value] : replaced_) bytes += value.size();
    for (const auto& [section, keys] : addedKeys_)
      for (const AddedKey& key : keys) bytes += key.name.size() + key.value.size() + 3;
    for (const std::string& name : addedSections_) bytes += name.size() + 6;
    return bytes;
  }

  std::shared_ptr<const ProfileText> base_;
  std::unordered_map<std::uint32_t, std::string> replaced_;  // key of the parse -> value
  std::vector<std::string> addedSections_;                   // names as first spelled
  std::unordered_map<std::string, std::uint32_t> addedSectionIndex_;
  std::unordered_map<std::uint32_t, std::vector<AddedKey>> addedKeys_;  // by section, in order
  std::unordered_map<std::string, std::size_t> addedKeyIndex_;          // KeyTag -> position
};

// --- the read cache ---------------------------------------------------------

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool SameStatus(const FileStatus& a, const FileStatus& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.modifiedNs == b.modifiedNs;
}

// A handful of recent parses, so that a caller reading many values of one
// file parses it once. An entry is used only while the file's status is the
// one it was read with.
//
// The status alone can miss a change: file times come from a clock that
// ticks in jiffies (or whole seconds on some file systems), and an inode
// number freed by one replace can be handed to the next, so two versions of
// the same size written within one tick can look alike. An entry is
// therefore trusted on its status only once its file was already older than
// a few ticks when it was read: any later write then carries a newer time.
// A younger entry is checked against the file's bytes, which is cheap next
// to a parse, until enough time has passed.
class ParseCache {
 public:
  static ParseCache& Instance() {
    // Never destroyed: a batch committing during static destruction may
    // still reach it.
    static ParseCache* cache = new ParseCache;
    return *cache;
  }

  struct Lookup {
    std::shared_ptr<const ProfileText> text;
    bool trusted = false;
  };

  Lookup Find(const std::string& hostPath, const FileStatus& status) {
    const unsigned codePage = SystemCodePage();
    std::lock_guard lock(mutex_);
    for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
      if (entry->hostPath != hostPath || entry->codePage != codePage) continue;
      if (!SameStatus(entry->status, status)) return {};
      entries_.splice(entries_.begin(), entries_, entry);
      return {entry->text, Trusted(*entry)};
    }
    return {};
  }

  void Put(const std::string& hostPath, const FileStatus& status, std::int64_t readAtNs,
           std::shared_ptr<const ProfileText> text) {
    const unsigned codePage = SystemCodePage();
    std::lock_guard lock(mutex_);
    RemoveLocked(hostPath);
    bytes_ += text->content().size();
    entries_.push_front({hostPath, codePage, status, readAtNs, std::move(text)});
    while (entries_.size() > kMaxEntries || (bytes_ > kMaxBytes && entries_.size() > 1)) {
      bytes_ -= entries_.back().text->content().size();
      entries_.pop_back();
    }
  }

  void Forget(const std::string& hostPath) {
    std::lock_guard lock(mutex_);
    RemoveLocked(hostPath);
  }

 private:
  static constexpr std::size_t kMaxEntries = 8;
  static constexpr std::size_t kMaxBytes = kMaxProfileFileBytes;

  struct Entry {
    std::string hostPath;
    unsigned codePage;
    FileStatus status;
    std::int64_t readAtNs;  // the clock just before the read
    std::shared_ptr<const ProfileText> text;
  };

  static bool Trusted(const Entry& entry) {
    // A time with no fraction of a second most likely comes from a file
    // system that keeps whole seconds (or two, for FAT).
    const bool wholeSeconds = entry.status.modifiedNs % 1'000'000'000 == 0;
    const std::int64_t margin = wholeSeconds ? 3'000'000'000 : 100'000'000;
    return entry.status.modifiedNs < entry.readAtNs - margin;
  }

  void RemoveLocked(const std::string& hostPath) {
    for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
      if (entry->hostPath != hostPath) continue;
      bytes_ -= entry->text->content().size();
      entries_.erase(entry);
      return;
    }
  }

  std::mutex mutex_;
  std::list<Entry> entries_;  // most recently used first
  std::size_t bytes_ = 0;
};

enum class LoadState { Ok, Missing, Unusable };

struct Loaded {
  LoadState state = LoadState::Unusable;
  std::shared_ptr<const ProfileText> text;  // set when Ok
};

// The parse of the file at hostPath as it is now, from the cache when it can
// be trusted.
Loaded LoadProfile(const std::string& hostPath) {
  auto status = backend::StatProfileFile(hostPath);
  if (!status) return {LoadState::Missing, nullptr};
  if (status->isDirectory || status->size > kMaxProfileFileBytes)
    return {LoadState::Unusable, nullptr};
  ParseCache& cache = ParseCache::Instance();
  ParseCache::Lookup cached = cache.Find(hostPath, *status);
  if (cached.text && cached.trusted) return {LoadState::Ok, cached.text};

  const std::int64_t readAt = NowNs();
  std::string content;
  FileStatus readStatus;
  switch (backend::ReadProfileFile(hostPath, kMaxProfileFileBytes, &content, &readStatus)) {
    case backend::ProfileReadResult::Ok:
      break;
    case backend::ProfileReadResult::Missing:
      return {LoadState::Missing, nullptr};
    case backend::ProfileReadResult::TooLarge:
    case backend::ProfileReadResult::Failed:
      return {LoadState::Unusable, nullptr};
  }
  std::shared_ptr<const ProfileText> text;
  if (cached.text && cached.text->content() == content)
    text = std::move(cached.text);
  else
    text = std::make_shared<const ProfileText>(std::move(content));
  cache.Put(hostPath, readStatus, readAt, text);
  return {LoadState::Ok, std::move(text)};
}

// The parse a batch starts from: the file as it is, or an empty one when
// there is nothing usable (the write then decides, on the file as it is by
// then).
std::shared_ptr<const ProfileText> LoadForEditing(std::string_view path) {
  auto host = ToHostPath(path);
  if (!host) return EmptyText();
  Loaded loaded = LoadProfile(*host);
  return loaded.state == LoadState::Ok ? loaded.text : EmptyText();
}

std::optional<std::string> LookupValue(const EditedProfile& profile, std::string_view section,
                                       std::string_view key, std::size_t bufferSize) {
  auto raw =
      profile.Find(UpperCase(TrimBlanks(CutAtNul(section))), UpperCase(TrimBlanks(CutAtNul(key))));
  if (!raw) return std::nullopt;
  return ValueAsRead(*raw, bufferSize);
}

std::string DefaultAsRead(std::string_view defaultValue, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  return std::string(CutAtNul(defaultValue).substr(0, bufferSize - 1));
}

// --- writing ----------------------------------------------------------------

class FolderLock {
 public:
  explicit FolderLock(const std::string& folder) : lock_(backend::LockProfileFolder(folder)) {}
  ~FolderLock() { backend::UnlockProfileFolder(lock_); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  backend::ProfileFolderLock* get() const { return lock_; }

 private:
  backend::ProfileFolderLock* lock_;
};

// Writes the edits into the file as it is now. Under the folder lock the
// file is read again: when its bytes are still those that view was built on,
// view is written as it stands; otherwise another writer came first and the
// edits are applied afresh over its version, so that neither loses anything.
bool CommitEdits(std::string_view path, const std::vector<Edit>& edits, const EditedProfile* view) {
  auto host = ToHostPath(path);
  if (!host) return false;
  const std::size_t slash = host->rfind('/');
  if (slash == std::string::npos) return false;
  FolderLock lock(host->substr(0, slash == 0 ? 1 : slash));
  if (lock.get() == nullptr) return false;

  std::string current;
  FileStatus status;
  switch (backend::ReadProfileFile(*host, kMaxProfileFileBytes, &current, &status)) {
    case backend::ProfileReadResult::Ok:
    case backend::ProfileReadResult::Missing:
      break;
    case backend::ProfileReadResult::TooLarge:
    case backend::ProfileReadResult::Failed:
      return false;
  }
  std::string out;
  if (view != nullptr && view->base().content() == current) {
    out = view->Serialise();
  } else {
    EditedProfile fresh(std::make_shared<const ProfileText>(std::move(current)));
    for (const Edit& edit : edits) fresh.Set(edit);
    out = fresh.Serialise();
  }
  // A file that the next read would refuse is not written either.
  if (out.size() > kMaxProfileFileBytes) return false;
  const bool written = backend::ReplaceProfileFile(lock.get(), *host, out);
  ParseCache::Instance().Forget(*host);
  return written;
}

}  // namespace

std::string ReadProfileString(std::string_view path, std::string_view section, std::string_view key,
                              std::string_view defaultValue, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  auto host = ToHostPath(path);
  if (!host) return DefaultAsRead(defaultValue, bufferSize);
  Loaded loaded = LoadProfile(*host);
  if (loaded.state != LoadState::Ok) return DefaultAsRead(defaultValue, bufferSize);
  const EditedProfile profile(std::move(loaded.text));
  auto value = LookupValue(profile, section, key, bufferSize);
  return value ? std::move(*value) : DefaultAsRead(defaultValue, bufferSize);
}

bool WriteProfileString(std::string_view path, std::string_view section, std::string_view key,
                        std::string_view value) {
  auto edit = MakeEdit(section, key, value);
  if (!edit) return false;
  return CommitEdits(path, {std::move(*edit)}, nullptr);
}

// --- ProfileWriteBatch --------------------------------------------------------

struct ProfileWriteBatch::Impl {
  std::string path;
  // The file as the batch sees it plus the pending edits; rebuilt from the
  // file when first needed after a Commit.
  std::optional<EditedProfile> view;
  std::vector<Edit> pending;
  bool refused = false;  // a Set was refused since the last Commit

  EditedProfile& View() {
    if (!view) view.emplace(LoadForEditing(path));
    return *view;
  }
};

ProfileWriteBatch::ProfileWriteBatch(std::string_view path) : impl_(std::make_unique<Impl>()) {
  impl_->path = std::string(path);
  impl_->View();
}

ProfileWriteBatch::~ProfileWriteBatch() {
  if (HasPendingEdits()) Commit();
}

std::string ProfileWriteBatch::Get(std::string_view section, std::string_view key,
                                   std::string_view defaultValue, std::size_t bufferSize) const {
  if (bufferSize == 0) return {};
  auto value = LookupValue(impl_->View(), section, key, bufferSize);
  return value ? std::move(*value) : DefaultAsRead(defaultValue, bufferSize);
}

void ProfileWriteBatch::Set(std::string_view section, std::string_view key,
                            std::string_view value) {
  auto edit = MakeEdit(section, key, value);
  if (!edit) {
    impl_->refused = true;
    return;
  }
  impl_->View().Set(*edit);
  impl_->pending.push_back(std::move(*edit));
}

bool ProfileWriteBatch::Commit() {
  bool ok = !impl_->refused;
  impl_->refused = false;
  if (impl_->pending.empty()) return ok;
  ok = CommitEdits(impl_->path, impl_->pending, &impl_->View()) && ok;
  impl_->pending.clear();
  impl_->view.reset();
  return ok;
}

void ProfileWriteBatch::Discard() {
  impl_->refused = false;
  if (impl_->pending.empty()) return;
  impl_->pending.clear();
  if (impl_->view) impl_->view->DropEdits();
}

bool ProfileWriteBatch::HasPendingEdits() const { return !impl_->pending.empty(); }

}  // namespace hovane::platform
