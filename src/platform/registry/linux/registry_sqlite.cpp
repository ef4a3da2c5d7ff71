// Linux backend of the registry service: one SQLite database per hive.
//
// Keys are rows of reg_keys (id, parent, name as written, folded name);
// values are rows of reg_values keyed by (key, folded name), enumerated in
// row order. Key ids come from AUTOINCREMENT so that a deleted key's id is
// never handed to a new key while an old handle may still name it.
//
// Durability and sharing: a rollback journal (never WAL, whose shared-memory
// file would need write access even to read, and which a read-only process
// could not use), synchronous=FULL, and every change inside BEGIN IMMEDIATE,
// which takes the write lock up front so that two writers queue on the busy
// timeout instead of failing in the middle. A process killed mid-change
// leaves a hot journal that the next process to open the hive rolls back.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "platform/registry/registry_backend.h"

namespace hovane::platform::backend {
namespace {

// 'HVRG': marks a database as a hive of this layer.
constexpr int kApplicationId = 0x48565247;
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 15000;

// The one place where an SQLite result becomes a RegStatus.
RegStatus StatusFromSqlite(int rc) {
  if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return RegStatus::Ok;
  // A read-only process cannot roll back a journal left by a writer that
  // died; that is the hive being unusable for now, not missing rights.
  if (rc == SQLITE_READONLY_ROLLBACK || rc == SQLITE_READONLY_RECOVERY) return RegStatus::IoFailed;
  switch (rc & 0xFF) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return RegStatus::AccessDenied;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
      return RegStatus::BadHive;
    default:
      return RegStatus::IoFailed;
  }
}

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Prepared() const { return rc_ == SQLITE_OK && stmt_ != nullptr; }
  int PrepareResult() const { return rc_ == SQLITE_OK ? SQLITE_ERROR : rc_; }

  void Bind(int index, std::int64_t number) { sqlite3_bind_int64(stmt_, index, number); }
  void Bind(int index, const std::string& bytes) {
    // A zero-length blob, not NULL, for empty text.
    sqlite3_bind_blob64(stmt_, index, bytes.empty() ? "" : bytes.data(),
                        static_cast<sqlite3_uint64>(bytes.size()), SQLITE_TRANSIENT);
  }
  int Step() { return sqlite3_step(stmt_); }
  std::int64_t Int(int column) { return sqlite3_column_int64(stmt_, column); }
  std::string Bytes(int column) {
    const void* data = sqlite3_column_blob(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    if (data == nullptr || size <= 0) return {};
    return std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_ERROR;
};

int Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

// A transaction that rolls back unless committed.
class Transaction {
 public:
  Transaction(sqlite3* db, bool write) : db_(db) {
    rc_ = Exec(db, write ? "BEGIN IMMEDIATE" : "BEGIN");
    open_ = rc_ == SQLITE_OK;
  }
  ~Transaction() {
    if (open_) Exec(db_, "ROLLBACK");
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  int BeginResult() const { return rc_; }
  int Commit() {
    const int rc = Exec(db_, "COMMIT");
    if (rc == SQLITE_OK) open_ = false;
    return rc;
  }

 private:
  sqlite3* db_;
  int rc_;
  bool open_ = false;
};

const char* const kCreateSchema =
    "CREATE TABLE reg_keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"
    "  folded BLOB NOT NULL,"
    "  UNIQUE(parent, folded));"
    "CREATE TABLE reg_values("
    "  key INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"
    "  folded BLOB NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE(key, folded));";

class SqliteHive final : public RegHive {
 public:
  SqliteHive(sqlite3* db, bool readOnly) : db_(db), readOnly_(readOnly) {}
  ~SqliteHive() override {
    if (db_) sqlite3_close_v2(db_);
  }

  bool ReadOnly() const override { return readOnly_; }

  RegStatus FindKey(RegKeyId from, const RegPath& path, RegKeyId* found) override {
    std::lock_guard lock(mutex_);
    if (!db_) return EmptyHiveAnswer(from, path.empty() ? RegStatus::Ok : RegStatus::NotFound);
    Transaction read(db_, false);
    if (read.BeginResult() != SQLITE_OK) return StatusFromSqlite(read.BeginResult());
    if (RegStatus status = KeyExists(from); status != RegStatus::Ok) return status;
    RegKeyId current = from;
    for (const RegName& name : path) {
      bool exists = false;
      if (RegStatus status = Child(current, name, &current, &exists); status != RegStatus::Ok)
        return status;
      if (!exists) return RegStatus::NotFound;
    }
    *found = current;
    return StatusFromSqlite(read.Commit());
  }

  RegStatus CreateKey(RegKeyId from, const RegPath& path, RegKeyId* result,
                      bool* created) override {
    std::lock_guard lock(mutex_);
    if (!db_) return RegStatus::AccessDenied;
    Transaction write(db_, true);
    if (write.BeginResult() != SQLITE_OK) return StatusFromSqlite(write.BeginResult());
    if (RegStatus status = KeyExists(from); status != RegStatus::Ok) return status;
    RegKeyId current = from;
    bool made = false;
    for (const RegName& name : path) {
      bool exists = false;
      if (RegStatus status = Child(current, name, &current, &exists); status != RegStatus::Ok)
        return status;
      made = !exists;
      if (made) {
        if (RegStatus status = InsertKey(current, name, &current); status != RegStatus::Ok)
          return status;
      }
    }
    if (int rc = write.Commit(); rc != SQLITE_OK) return StatusFromSqlite(rc);
    *result = current;
    *created = made;
    return RegStatus::Ok;
  }

  RegStatus DeleteKey(RegKeyId from, const RegPath& path, bool withSubkeys, bool keepTop) override {
    std::lock_guard lock(mutex_);
    if (!db_) return RegStatus::AccessDenied;
    Transaction write(db_, true);
    if (write.BeginResult() != SQLITE_OK) return StatusFromSqlite(write.BeginResult());
    if (RegStatus status = KeyExists(from); status != RegStatus::Ok) return status;
    RegKeyId target = from;
    for (const RegName& name : path) {
      bool exists = false;
      if (RegStatus status = Child(target, name, &target, &exists); status != RegStatus::Ok)
        return status;
      if (!exists) return RegStatus::NotFound;
    }
    if (!withSubkeys) {
      Statement children(db_, "SELECT 1 FROM reg_keys WHERE parent = ?1 LIMIT 1");
      if (!children.Prepared()) return StatusFromSqlite(children.PrepareResult());
      children.Bind(1, target);
      const int rc = children.Step();
      if (rc == SQLITE_ROW) return RegStatus::AccessDenied;
      if (rc != SQLITE_DONE) return StatusFromSqlite(rc);
    }
    // UNION rather than UNION ALL: a damaged file with a cycle of parents
    // still ends the walk.
    static const char* const kTree =
        "WITH RECURSIVE tree(id) AS ("
        "  SELECT ?1 UNION SELECT k.id FROM reg_keys k JOIN tree t ON k.parent = t.id) ";
    Statement values(db_,
                     (std::string(kTree) + "DELETE FROM reg_values WHERE key IN tree").c_str());
    Statement keys(
        db_, (std::string(kTree) + "DELETE FROM reg_keys WHERE id IN tree AND id != ?2").c_str());
    if (!values.Prepared()) return StatusFromSqlite(values.PrepareResult());
    if (!keys.Prepared()) return StatusFromSqlite(keys.PrepareResult());
    values.Bind(1, target);
    keys.Bind(1, target);
    keys.Bind(2, keepTop ? target : -1);
    if (int rc = values.Step(); rc != SQLITE_DONE) return StatusFromSqlite(rc);
    if (int rc = keys.Step(); rc != SQLITE_DONE) return StatusFromSqlite(rc);
    return StatusFromSqlite(write.Commit());
  }

  RegStatus SetValue(RegKeyId key, const RegName& name, RegType type,
                     const std::string& data) override {
    std::lock_guard lock(mutex_);
    if (!db_) return RegStatus::AccessDenied;
    Transaction write(db_, true);
    if (write.BeginResult() != SQLITE_OK) return StatusFromSqlite(write.BeginResult());
    if (RegStatus status = KeyExists(key); status != RegStatus::Ok) return status;
    // Updating in place keeps the value's row, and so its place in the
    // enumeration order, as rewriting a value does on Windows.
    Statement upsert(db_,
                     "INSERT INTO reg_values(key, name, folded, type, data)"
                     " VALUES(?1, ?2, ?3, ?4, ?5)"
                     " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type,"
                     " data = excluded.data");
    if (!upsert.Prepared()) return StatusFromSqlite(upsert.PrepareResult());
    upsert.Bind(1, key);
    upsert.Bind(2, name.name);
    upsert.Bind(3, name.folded);
    upsert.Bind(4, static_cast<std::int64_t>(type));
    upsert.Bind(5, data);
    if (int rc = upsert.Step(); rc != SQLITE_DONE) return StatusFromSqlite(rc);
    return StatusFromSqlite(write.Commit());
  }

  RegStatus QueryValue(RegKeyId key, const RegName& name, RegistryValue* value) override {
    std::lock_guard lock(mutex_);
    if (!db_) return EmptyHiveAnswer(key, RegStatus::NotFound);
    Transaction read(db_, false);
    if (read.BeginResult() != SQLITE_OK) return StatusFromSqlite(read.BeginResult());
    if (RegStatus status = KeyExists(key); status != RegStatus::Ok) return status;
    Statement query(db_, "SELECT name, type, data FROM reg_values WHERE key = ?1 AND folded = ?2");
    if (!query.Prepared()) return StatusFromSqlite(query.PrepareResult());
    query.Bind(1, key);
    query.Bind(2, name.folded);
    const int rc = query.Step();
    if (rc == SQLITE_DONE) return RegStatus::NotFound;
    if (rc != SQLITE_ROW) return StatusFromSqlite(rc);
    *value = {query.Bytes(0), static_cast<RegType>(query.Int(1)), query.Bytes(2)};
    return RegStatus::Ok;
  }

  RegStatus DeleteValue(RegKeyId key, const RegName& name) override {
    std::lock_guard lock(mutex_);
    if (!db_) return RegStatus::AccessDenied;
    Transaction write(db_, true);
    if (write.BeginResult() != SQLITE_OK) return StatusFromSqlite(write.BeginResult());
    if (RegStatus status = KeyExists(key); status != RegStatus::Ok) return status;
    Statement remove(db_, "DELETE FROM reg_values WHERE key = ?1 AND folded = ?2");
    if (!remove.Prepared()) return StatusFromSqlite(remove.PrepareResult());
    remove.Bind(1, key);
    remove.Bind(2, name.folded);
    if (int rc = remove.Step(); rc != SQLITE_DONE) return StatusFromSqlite(rc);
    if (sqlite3_changes(db_) == 0) return RegStatus::NotFound;
    return StatusFromSqlite(write.Commit());
  }

  RegStatus ListSubkeys(RegKeyId key, std::vector<std::string>* names) override {
    std::lock_guard lock(mutex_);
    names->clear();
    if (!db_) return EmptyHiveAnswer(key, RegStatus::Ok);
    Transaction read(db_, false);
    if (read.BeginResult() != SQLITE_OK) return StatusFromSqlite(read.BeginResult());
    if (RegStatus status = KeyExists(key); status != RegStatus::Ok) return status;
    Statement list(db_, "SELECT name FROM reg_keys WHERE parent = ?1 ORDER BY folded, name");
    if (!list.Prepared()) return StatusFromSqlite(list.PrepareResult());
    list.Bind(1, key);
    int rc;
    while ((rc = list.Step()) == SQLITE_ROW) names->push_back(list.Bytes(0));
    if (rc != SQLITE_DONE) {
      names->clear();
      return StatusFromSqlite(rc);
    }
    return RegStatus::Ok;
  }

  RegStatus ListValues(RegKeyId key, std::vector<RegistryValue>* values) override {
    std::lock_guard lock(mutex_);
    values->clear();
    if (!db_) return EmptyHiveAnswer(key, RegStatus::Ok);
    Transaction read(db_, false);
    if (read.BeginResult() != SQLITE_OK) return StatusFromSqlite(read.BeginResult());
    if (RegStatus status = KeyExists(key); status != RegStatus::Ok) return status;
    Statement list(db_, "SELECT name, type, data FROM reg_values WHERE key = ?1 ORDER BY rowid");
    if (!list.Prepared()) return StatusFromSqlite(list.PrepareResult());
    list.Bind(1, key);
    int rc;
    while ((rc = list.Step()) == SQLITE_ROW)
      values->push_back({list.Bytes(0), static_cast<RegType>(list.Int(1)), list.Bytes(2)});
    if (rc != SQLITE_DONE) {
      values->clear();
      return StatusFromSqlite(rc);
    }
    return RegStatus::Ok;
  }

 private:
  // A hive without a file has only its root, with nothing in it.
  static RegStatus EmptyHiveAnswer(RegKeyId key, RegStatus forRoot) {
    return key == kRegRootKey ? forRoot : RegStatus::KeyDeleted;
  }

  RegStatus KeyExists(RegKeyId key) {
    if (key == kRegRootKey) return RegStatus::Ok;
    Statement query(db_, "SELECT 1 FROM reg_keys WHERE id = ?1");
    if (!query.Prepared()) return StatusFromSqlite(query.PrepareResult());
    query.Bind(1, key);
    const int rc = query.Step();
    if (rc == SQLITE_ROW) return RegStatus::Ok;
    return rc == SQLITE_DONE ? RegStatus::KeyDeleted : StatusFromSqlite(rc);
  }

  RegStatus Child(RegKeyId parent, const RegName& name, RegKeyId* child, bool* exists) {
    Statement query(db_, "SELECT id FROM reg_keys WHERE parent = ?1 AND folded = ?2");
    if (!query.Prepared()) return StatusFromSqlite(query.PrepareResult());
    query.Bind(1, parent);
    query.Bind(2, name.folded);
    const int rc = query.Step();
    *exists = rc == SQLITE_ROW;
    if (*exists) {
      *child = query.Int(0);
      return RegStatus::Ok;
    }
    return rc == SQLITE_DONE ? RegStatus::Ok : StatusFromSqlite(rc);
  }

  RegStatus InsertKey(RegKeyId parent, const RegName& name, RegKeyId* id) {
    Statement insert(db_, "INSERT INTO reg_keys(parent, name, folded) VALUES(?1, ?2, ?3)");
    if (!insert.Prepared()) return StatusFromSqlite(insert.PrepareResult());
    insert.Bind(1, parent);
    insert.Bind(2, name.name);
    insert.Bind(3, name.folded);
    if (int rc = insert.Step(); rc != SQLITE_DONE) return StatusFromSqlite(rc);
    *id = sqlite3_last_insert_rowid(db_);
    return RegStatus::Ok;
  }

  std::mutex mutex_;
  sqlite3* db_;
  const bool readOnly_;
  friend RegStatus PrepareHive(SqliteHive& hive, const std::vector<RegPath>& seedKeys, bool* blank);
};

int PragmaNumber(sqlite3* db, const char* pragma, int* rc) {
  Statement query(db, pragma);
  if (!query.Prepared()) {
    *rc = query.PrepareResult();
    return 0;
  }
  const int step = query.Step();
  *rc = step == SQLITE_ROW ? SQLITE_OK : (step == SQLITE_DONE ? SQLITE_ERROR : step);
  return step == SQLITE_ROW ? static_cast<int>(query.Int(0)) : 0;
}

enum class HiveKind { Ours, Blank, Foreign };

// What the file holds: a hive of this layer, nothing yet, or something else.
RegStatus InspectHive(sqlite3* db, HiveKind* kind) {
  int rc = SQLITE_OK;
  const int applicationId = PragmaNumber(db, "PRAGMA application_id", &rc);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc);
  const int version = PragmaNumber(db, "PRAGMA user_version", &rc);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc);
  const int objects = PragmaNumber(db, "SELECT count(*) FROM sqlite_schema", &rc);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc);
  if (applicationId == kApplicationId && version == kSchemaVersion)
    *kind = HiveKind::Ours;
  else if (applicationId == 0 && version == 0 && objects == 0)
    *kind = HiveKind::Blank;
  else
    *kind = HiveKind::Foreign;
  return RegStatus::Ok;
}

// Lays out a blank writable hive. *blank tells that the file holds nothing
// yet and may not be written.
RegStatus PrepareHive(SqliteHive& hive, const std::vector<RegPath>& seedKeys, bool* blank) {
  *blank = false;
  HiveKind kind = HiveKind::Foreign;
  if (RegStatus status = InspectHive(hive.db_, &kind); status != RegStatus::Ok) return status;
  if (kind == HiveKind::Ours) return RegStatus::Ok;
  if (kind == HiveKind::Foreign) return RegStatus::BadHive;
  if (hive.readOnly_) {
    *blank = true;
    return RegStatus::Ok;
  }

  Transaction write(hive.db_, true);
  if (write.BeginResult() != SQLITE_OK) return StatusFromSqlite(write.BeginResult());
  // Another process may have laid the hive out while this one waited.
  if (RegStatus status = InspectHive(hive.db_, &kind); status != RegStatus::Ok) return status;
  if (kind == HiveKind::Ours) return RegStatus::Ok;
  if (kind == HiveKind::Foreign) return RegStatus::BadHive;
  if (int rc = Exec(hive.db_, kCreateSchema); rc != SQLITE_OK) return StatusFromSqlite(rc);
  const std::string pragmas = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                              "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
  if (int rc = Exec(hive.db_, pragmas.c_str()); rc != SQLITE_OK) return StatusFromSqlite(rc);
  for (const RegPath& seed : seedKeys) {
    RegKeyId current = kRegRootKey;
    for (const RegName& name : seed) {
      bool exists = false;
      if (RegStatus status = hive.Child(current, name, &current, &exists); status != RegStatus::Ok)
        return status;
      if (!exists) {
        if (RegStatus status = hive.InsertKey(current, name, &current); status != RegStatus::Ok)
          return status;
      }
    }
  }
  return StatusFromSqlite(write.Commit());
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

std::shared_ptr<RegHive> OpenRegHive(const std::string& hostPath,
                                     const std::vector<RegPath>& seedKeys, RegStatus* status) {
  struct stat st;
  const bool exists = ::stat(hostPath.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    *status = RegStatus::BadHive;
    return nullptr;
  }
  // The journal is created beside the file, so writing needs the folder too.
  // The rights asked about are those of the effective user.
  auto mayWrite = [](const std::string& path) {
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
  };
  const bool writable = mayWrite(FolderOf(hostPath)) && (!exists || mayWrite(hostPath));
  if (!exists && !writable) {
    *status = RegStatus::Ok;
    return std::make_shared<SqliteHive>(nullptr, true);
  }

  // The layer serialises each connection itself (one mutex per hive), so
  // SQLite's own connection mutex is not needed.
  const int flags = (writable ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) |
                    SQLITE_OPEN_NOMUTEX;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(hostPath.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    *status = StatusFromSqlite(rc);
    sqlite3_close_v2(db);
    return nullptr;
  }
  auto hive = std::make_shared<SqliteHive>(db, !writable);
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // A hive is data, never code: no triggers or views from the file run with
  // this process's rights, and writes that would damage the file are refused.
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  if (writable) {
    rc = Exec(db, "PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL;");
    if (rc != SQLITE_OK) {
      *status = StatusFromSqlite(rc);
      return nullptr;
    }
  }
  bool blank = false;
  *status = PrepareHive(*hive, seedKeys, &blank);
  if (*status != RegStatus::Ok) return nullptr;
  // A blank file that may not be written reads as an empty hive.
  if (blank) return std::make_shared<SqliteHive>(nullptr, true);
  return hive;
}

}  // namespace hovane::platform::backend
