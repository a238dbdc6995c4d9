#include "settings/RegistrySupport.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <system_error>

#include "platform/ProgramError.h"
#include "service/SystemSupport.h"
#include "settings/CaseFold.h"

namespace quorvil {
namespace {

// Marks a file as this program's settings database ("QVLS"), so that a foreign SQLite file
// at the same place is refused instead of written into.
constexpr int32_t kApplicationId = 0x51564C53;
// 2 records the case folding that made the stored forms; 1 folded by a table of its own.
constexpr int kSchemaVersion = 2;
// Long enough for another copy's write (a few fsyncs) even on a slow disk.
constexpr int kBusyTimeoutMs = 15000;
constexpr int kKindInteger = 1;
constexpr int kKindString = 2;

// Key and value names are stored as written and once more case-folded: a plain unique index
// over the folded copy gives case-insensitive lookups for every script, and the file stays
// usable by any SQLite tool (an index over a custom collation would not be).
constexpr const char* kSchema = R"(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER NOT NULL,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  UNIQUE(parent, fold));
CREATE TABLE vals(
  id INTEGER PRIMARY KEY,
  key_id INTEGER NOT NULL REFERENCES keys(id),
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  kind INTEGER NOT NULL,
  data,
  UNIQUE(key_id, fold));
CREATE TABLE meta(
  name TEXT PRIMARY KEY,
  value TEXT NOT NULL);
)";
constexpr const char* kFoldingEntry = "folding";

enum class TOpen {
  Read,    // reads; no store yet means "not found"
  Modify,  // changes to what exists; no store yet means "not found"
  Create,  // writes; creates folder, file and tables when missing
};

[[noreturn]] void ThrowFileProblem(const std::filesystem::path& path, std::string_view what) {
  throw EQuorvilError("The settings file '" + path.string() + "' " + std::string(what));
}

std::string GetFailure(std::string_view name) {
  return "Failed to get data for '" + std::string(name) + "'";
}

std::string SetFailure(std::string_view name) {
  return "Failed to set data for '" + std::string(name) + "'";
}

// The full key path as its names, from the top of the per-user store: empty parts (leading,
// trailing or doubled backslashes) are dropped.
std::vector<std::string> KeyParts(std::string_view subKey) {
  std::vector<std::string> parts;
  for (std::string_view path : {kProgramRootKey, subKey}) {
    while (!path.empty()) {
      const size_t end = std::min(path.find('\\'), path.size());
      if (end > 0) parts.emplace_back(path.substr(0, end));
      path.remove_prefix(std::min(end + 1, path.size()));
    }
  }
  return parts;
}

struct TDbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct TStmtFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

struct TStoredValue {
  int kind = 0;
  int type = SQLITE_NULL;
  int64_t integer = 0;
  std::string text;
};

class TStatement;

// One connection with one transaction open, for the length of one operation.
class TStore {
 public:
  static std::optional<TStore> Open(TOpen mode, std::string failure);

  TStore(TStore&&) = default;
  ~TStore() {
    // A transaction still open here was not committed: an error is passing through.
    if (db_ && !sqlite3_get_autocommit(db_.get())) {
      sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
  }

  void Exec(const char* sql) { Check(sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr)); }
  void Commit() { Exec("COMMIT"); }
  void Check(int rc) {
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE) Fail(rc);
  }
  [[noreturn]] void Fail(int rc);

  std::optional<int64_t> FindKey(const std::vector<std::string>& parts);
  int64_t OpenOrCreateKey(const std::vector<std::string>& parts);
  std::optional<TStoredValue> FindValue(int64_t keyId, std::string_view name);
  sqlite3* Db() { return db_.get(); }

 private:
  TStore(sqlite3* db, std::filesystem::path path, std::string failure)
      : db_(db), path_(std::move(path)), failure_(std::move(failure)) {}
  // Whether the file holds this program's tables (true) or nothing yet (false).
  bool HasSchema();
  // The name of the folding the stored forms were made with; "" for the first schema's.
  std::string StoredFolding();
  // Folds every name again with this build's folding. Names that now fold alike are
  // merged: the first created keeps its place and name, the later one's data wins.
  void Refold();
  void RecordFolding();
  int64_t SchemaVersion();

  std::unique_ptr<sqlite3, TDbCloser> db_;
  std::filesystem::path path_;
  std::string failure_;
};

class TStatement {
 public:
  TStatement(TStore& store, const char* sql) : store_(store) {
    sqlite3_stmt* raw = nullptr;
    store_.Check(sqlite3_prepare_v2(store_.Db(), sql, -1, &raw, nullptr));
    stmt_.reset(raw);
  }
  TStatement& Reset() {
    sqlite3_reset(stmt_.get());
    sqlite3_clear_bindings(stmt_.get());
    return *this;
  }
  TStatement& Bind(int index, int64_t value) {
    store_.Check(sqlite3_bind_int64(stmt_.get(), index, value));
    return *this;
  }
  TStatement& Bind(int index, const sqlite3_value* value) {
    store_.Check(sqlite3_bind_value(stmt_.get(), index, value));
    return *this;
  }
  TStatement& Bind(int index, std::string_view text) {
    store_.Check(sqlite3_bind_text64(stmt_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT,
                                     SQLITE_UTF8));
    return *this;
  }
  // True while there is a row to read.
  bool Step() {
    const int rc = sqlite3_step(stmt_.get());
    store_.Check(rc);
    return rc == SQLITE_ROW;
  }
  int64_t Integer(int column) { return sqlite3_column_int64(stmt_.get(), column); }
  int Type(int column) { return sqlite3_column_type(stmt_.get(), column); }
  sqlite3_value* Value(int column) { return sqlite3_column_value(stmt_.get(), column); }
  std::string Text(int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_.get(), column));
    const auto size = static_cast<size_t>(sqlite3_column_bytes(stmt_.get(), column));
    return text ? std::string(text, size) : std::string();
  }

 private:
  TStore& store_;
  std::unique_ptr<sqlite3_stmt, TStmtFinalizer> stmt_;
};

// The system's reason when a call to it failed (a full disk), else SQLite's. SQLite does
// not keep the reason of every failed write: `lastErrno` is errno right after the call.
std::string Reason(sqlite3* db, int rc, int lastErrno) {
  const int primary = rc & 0xFF;
  const bool system =
      primary == SQLITE_IOERR || primary == SQLITE_FULL || primary == SQLITE_CANTOPEN;
  int error = system && db != nullptr ? sqlite3_system_errno(db) : 0;
  if (system && error == 0) error = lastErrno;
  return error != 0 ? std::strerror(error) : sqlite3_errstr(rc);
}

void TStore::Fail(int rc) {
  const int lastErrno = errno;
  switch (rc & 0xFF) {
    case SQLITE_CORRUPT:
      ThrowFileProblem(path_, std::string("is damaged: ") + sqlite3_errmsg(db_.get()));
    case SQLITE_NOTADB:
      ThrowFileProblem(path_, "is not a settings database");
    default:
      throw EQuorvilError(failure_ + ": " + Reason(db_.get(), rc, lastErrno));
  }
}

std::optional<TStore> TStore::Open(TOpen mode, std::string failure) {
  const auto path = SettingsStorePath();
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  bool empty = false;
  if (status.type() == std::filesystem::file_type::not_found) {
    if (mode != TOpen::Create) return std::nullopt;
    // Only the user may read the settings (the favourites tell where they go).
    if (!CreateOwnerOnlyFolders(path.parent_path())) throw EQuorvilError(failure);
    empty = true;
  } else if (error) {
    throw EQuorvilError(failure);
  } else if (status.type() != std::filesystem::file_type::regular) {
    ThrowFileProblem(path, "is not a settings database");
  } else {
    // Checked before SQLite sees the file, so that nothing is ever written into a foreign one.
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EQuorvilError(failure);
    char header[16] = {};
    in.read(header, sizeof header);
    const auto got = in.gcount();
    // An empty file is left by a first write that never got as far as its tables.
    empty = got == 0;
    if (!empty && (got < 16 || std::memcmp(header, "SQLite format 3", 16) != 0)) {
      ThrowFileProblem(path, "is not a settings database");
    }
  }
  if (empty && mode != TOpen::Create) return std::nullopt;

  sqlite3* raw = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (mode == TOpen::Create ? SQLITE_OPEN_CREATE : 0);
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  TStore store(raw, path, std::move(failure));
  if (rc != SQLITE_OK) store.Fail(rc);
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  // Writers take the write lock at the start, so that two of them wait for each other instead
  // of both holding a read lock that neither can upgrade.
  store.Exec(mode == TOpen::Read ? "BEGIN" : "BEGIN IMMEDIATE");
  if (store.HasSchema()) {
    if (store.StoredFolding() == CaseFoldingName()) return store;
    // Another folding wrote the file: it is folded again before anything is looked up.
    if (mode == TOpen::Read) {
      store.Exec("COMMIT");
      store.Exec("BEGIN IMMEDIATE");
      if (store.StoredFolding() != CaseFoldingName()) store.Refold();
      store.Exec("COMMIT");
      store.Exec("BEGIN");
    } else {
      store.Refold();
    }
    return store;
  }
  if (mode != TOpen::Create) return std::nullopt;
  store.Exec(kSchema);
  store.Exec(("PRAGMA application_id = " + std::to_string(kApplicationId)).c_str());
  store.RecordFolding();
  return store;
}

int64_t TStore::SchemaVersion() {
  TStatement version(*this, "PRAGMA user_version");
  version.Step();
  return version.Integer(0);
}

std::string TStore::StoredFolding() {
  if (SchemaVersion() < 2) return {};
  TStatement folding(*this, "SELECT value FROM meta WHERE name = ?1");
  folding.Bind(1, std::string_view(kFoldingEntry));
  return folding.Step() ? folding.Text(0) : std::string();
}

void TStore::RecordFolding() {
  TStatement record(*this, "INSERT OR REPLACE INTO meta(name, value) VALUES(?1, ?2)");
  record.Bind(1, std::string_view(kFoldingEntry)).Bind(2, CaseFoldingName()).Step();
  Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
}

void TStore::Refold() {
  if (SchemaVersion() < 2) Exec("CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL)");
  struct TKeyRow {
    int64_t id, parent;
    std::string name, fold;
  };
  // Parents are created before their children, so in id order every parent is placed first.
  std::vector<TKeyRow> keys;
  std::map<int64_t, int64_t> keyOf{{0, 0}};  // old key id -> the key it is merged into
  std::map<std::pair<int64_t, std::string>, int64_t> keyByFold;
  TStatement readKeys(*this, "SELECT id, parent, name FROM keys ORDER BY id");
  while (readKeys.Step()) {
    const int64_t id = readKeys.Integer(0);
    const auto parent = keyOf.find(readKeys.Integer(1));
    if (parent == keyOf.end()) continue;  // an orphan: nothing can reach it
    TKeyRow row{id, parent->second, readKeys.Text(2), {}};
    row.fold = FoldCase(row.name);
    const auto [at, added] = keyByFold.try_emplace({row.parent, row.fold}, id);
    keyOf[id] = at->second;
    if (added) keys.push_back(std::move(row));
  }

  struct TValueRow {
    int64_t id, keyId;
    std::string name, fold;
    int64_t kind;
    std::unique_ptr<sqlite3_value, void (*)(sqlite3_value*)> data{nullptr, sqlite3_value_free};
  };
  std::vector<TValueRow> values;
  std::map<std::pair<int64_t, std::string>, size_t> valueByFold;
  TStatement readValues(*this, "SELECT id, key_id, name, kind, data FROM vals ORDER BY id");
  while (readValues.Step()) {
    const auto key = keyOf.find(readValues.Integer(1));
    if (key == keyOf.end()) continue;
    TValueRow row{
        readValues.Integer(0), key->second, readValues.Text(2), {}, readValues.Integer(3)};
    row.data.reset(sqlite3_value_dup(readValues.Value(4)));
    if (!row.data) Fail(SQLITE_NOMEM);
    row.fold = FoldCase(row.name);
    const auto [at, added] = valueByFold.try_emplace({row.keyId, row.fold}, values.size());
    if (added) {
      values.push_back(std::move(row));
    } else {
      values[at->second].kind = row.kind;
      values[at->second].data = std::move(row.data);
    }
  }

  Exec("DELETE FROM vals");
  Exec("DELETE FROM keys");
  TStatement putKey(*this, "INSERT INTO keys(id, parent, name, fold) VALUES(?1, ?2, ?3, ?4)");
  for (const auto& k : keys) {
    putKey.Reset().Bind(1, k.id).Bind(2, k.parent).Bind(3, k.name).Bind(4, k.fold).Step();
  }
  TStatement putValue(
      *this, "INSERT INTO vals(id, key_id, name, fold, kind, data) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
  for (const auto& v : values) {
    putValue.Reset().Bind(1, v.id).Bind(2, v.keyId).Bind(3, v.name).Bind(4, v.fold).Bind(5, v.kind);
    putValue.Bind(6, v.data.get()).Step();
  }
  RecordFolding();
}

bool TStore::HasSchema() {
  TStatement appId(*this, "PRAGMA application_id");
  appId.Step();
  if (appId.Integer(0) == kApplicationId) {
    TStatement version(*this, "PRAGMA user_version");
    version.Step();
    const auto v = version.Integer(0);
    if (v > kSchemaVersion) ThrowFileProblem(path_, "was written by a newer version of Quorvil");
    if (v < 1) ThrowFileProblem(path_, "is not a settings database");
    return true;
  }
  if (appId.Integer(0) == 0) {
    TStatement objects(*this, "SELECT count(*) FROM sqlite_master");
    objects.Step();
    if (objects.Integer(0) == 0) return false;
  }
  ThrowFileProblem(path_, "is not a settings database");
}

std::optional<int64_t> TStore::FindKey(const std::vector<std::string>& parts) {
  TStatement find(*this, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
  int64_t id = 0;
  for (const auto& part : parts) {
    find.Reset().Bind(1, id).Bind(2, FoldCase(part));
    if (!find.Step()) return std::nullopt;
    id = find.Integer(0);
  }
  return id;
}

int64_t TStore::OpenOrCreateKey(const std::vector<std::string>& parts) {
  TStatement insert(*this,
                    "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3) "
                    "ON CONFLICT(parent, fold) DO NOTHING");
  TStatement find(*this, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
  int64_t id = 0;
  for (const auto& part : parts) {
    const auto fold = FoldCase(part);
    insert.Reset().Bind(1, id).Bind(2, part).Bind(3, fold).Step();
    find.Reset().Bind(1, id).Bind(2, fold);
    if (!find.Step()) Fail(SQLITE_ERROR);
    id = find.Integer(0);
  }
  return id;
}

std::optional<TStoredValue> TStore::FindValue(int64_t keyId, std::string_view name) {
  TStatement find(*this, "SELECT kind, data FROM vals WHERE key_id = ?1 AND fold = ?2");
  find.Bind(1, keyId).Bind(2, FoldCase(name));
  if (!find.Step()) return std::nullopt;
  TStoredValue value;
  value.kind = static_cast<int>(find.Integer(0));
  value.type = find.Type(1);
  if (value.type == SQLITE_INTEGER) value.integer = find.Integer(1);
  if (value.type == SQLITE_TEXT) value.text = find.Text(1);
  return value;
}

std::optional<TStoredValue> ReadValue(std::string_view subKey, std::string_view name) {
  auto store = TStore::Open(TOpen::Read, GetFailure(name));
  if (!store) return std::nullopt;
  const auto key = store->FindKey(KeyParts(subKey));
  if (!key) return std::nullopt;
  return store->FindValue(*key, name);
}

template <typename TBindData>
void WriteValue(std::string_view subKey, std::string_view name, int kind, TBindData bindData) {
  auto store = TStore::Open(TOpen::Create, SetFailure(name));
  const auto key = store->OpenOrCreateKey(KeyParts(subKey));
  TStatement put(*store,
                 "INSERT INTO vals(key_id, name, fold, kind, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                 "ON CONFLICT(key_id, fold) DO UPDATE SET kind = excluded.kind, "
                 "data = excluded.data");
  put.Bind(1, key).Bind(2, name).Bind(3, FoldCase(name)).Bind(4, int64_t{kind});
  bindData(put, 5);
  put.Step();
  store->Commit();
}

[[noreturn]] void ThrowInvalidType(std::string_view name) {
  throw EQuorvilError("Invalid data type for '" + std::string(name) + "'");
}

}  // namespace

std::filesystem::path SettingsStorePath() {
  // A relative XDG_CONFIG_HOME is to be ignored, as the XDG base directory rules say.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::filesystem::path base;
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    base = std::filesystem::path(UserHomeFolder()) / ".config";
  }
  return base / "Quorvil" / "settings.db";
}

bool RegistryValueExists(std::string_view subKey, std::string_view name) {
  return ReadValue(subKey, name).has_value();
}

bool RegistryKeyExists(std::string_view subKey) {
  auto store = TStore::Open(TOpen::Read, GetFailure(subKey));
  return store && store->FindKey(KeyParts(subKey)).has_value();
}

int32_t ReadRegistryInteger(std::string_view subKey, std::string_view name, int32_t defaultValue) {
  const auto value = ReadValue(subKey, name);
  if (!value) return defaultValue;
  if (value->kind != kKindInteger || value->type != SQLITE_INTEGER ||
      value->integer < std::numeric_limits<int32_t>::min() ||
      value->integer > std::numeric_limits<int32_t>::max()) {
    ThrowInvalidType(name);
  }
  return static_cast<int32_t>(value->integer);
}

void WriteRegistryInteger(std::string_view subKey, std::string_view name, int32_t value) {
  WriteValue(subKey, name, kKindInteger,
             [value](TStatement& put, int index) { put.Bind(index, int64_t{value}); });
}

std::string ReadRegistryString(std::string_view subKey, std::string_view name,
                               std::string_view defaultValue) {
  const auto value = ReadValue(subKey, name);
  if (!value) return std::string(defaultValue);
  if (value->kind != kKindString || value->type != SQLITE_TEXT) ThrowInvalidType(name);
  return value->text;
}

void WriteRegistryString(std::string_view subKey, std::string_view name, std::string_view text) {
  WriteValue(subKey, name, kKindString,
             [text](TStatement& put, int index) { put.Bind(index, text); });
}

void GetRegistryValueNames(std::string_view subKey, std::vector<std::string>& list) {
  list.clear();
  auto store = TStore::Open(TOpen::Read, GetFailure(subKey));
  if (!store) return;
  const auto key = store->FindKey(KeyParts(subKey));
  if (!key) return;
  TStatement names(*store, "SELECT name FROM vals WHERE key_id = ?1 ORDER BY id");
  names.Bind(1, *key);
  std::vector<std::string> found;
  while (names.Step()) found.push_back(names.Text(0));
  list = std::move(found);
}

void DeleteRegistryValue(std::string_view subKey, std::string_view name) {
  auto store = TStore::Open(TOpen::Modify, SetFailure(name));
  const auto key = store ? store->FindKey(KeyParts(subKey)) : std::nullopt;
  if (!key) throw EQuorvilError("DeleteRegistryValue: Registry Key not found.");
  TStatement remove(*store, "DELETE FROM vals WHERE key_id = ?1 AND fold = ?2");
  remove.Bind(1, *key).Bind(2, FoldCase(name)).Step();
  store->Commit();
}

TRegistryValueKind GetRegistryValueKind(std::string_view subKey, std::string_view name) {
  const auto value = ReadValue(subKey, name);
  if (!value) return TRegistryValueKind::rvkNone;
  if (value->kind == kKindInteger && value->type == SQLITE_INTEGER) {
    return TRegistryValueKind::rvkInteger;
  }
  if (value->kind == kKindString && value->type == SQLITE_TEXT) {
    return TRegistryValueKind::rvkString;
  }
  ThrowInvalidType(name);
}

std::vector<std::string> GetRegistrySubKeyNames() {
  auto store = TStore::Open(TOpen::Read, GetFailure(kProgramRootKey));
  if (!store) return {};
  const auto root = store->FindKey(KeyParts(""));
  if (!root) return {};
  // Parents are created before their children, so in id order a parent's path is known
  // before any child's.
  std::map<int64_t, std::string> paths{{*root, ""}};
  std::vector<std::string> result;
  TStatement keys(*store, "SELECT id, parent, name FROM keys WHERE id > ?1 ORDER BY id");
  keys.Bind(1, *root);
  while (keys.Step()) {
    const auto parent = paths.find(keys.Integer(1));
    if (parent == paths.end()) continue;  // not below the program root key
    auto path = parent->second + "\\" + keys.Text(2);
    result.push_back(path);
    paths.emplace(keys.Integer(0), std::move(path));
  }
  return result;
}

}  // namespace quorvil
