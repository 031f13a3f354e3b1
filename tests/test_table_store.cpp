#include "fakes/inline_writer.h"
#include "fakes/write_protection.h"
#include "store/table_store.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <csignal>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeContents(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A store of two fields holding the given first-field texts, closed again.
void makeStore(const QString& path, const QStringList& firstFields) {
    TableStore store{inlineWriter()};
    QVERIFY(store.createTable(
        path, {{"f1", FieldDefinition::TextType}, {"f2", FieldDefinition::TextType}}));
    QVERIFY(store.openTable(path, "s") && store.makeCurrent("s"));
    const TableStore::Batch batch(store);
    for (const QString& text : firstFields)
        QVERIFY(store.appendRecord({text}));
}

bool openCurrent(TableStore& store, const QString& path, const QString& alias = "t") {
    return store.openTable(path, alias) && store.makeCurrent(alias);
}

// Every record of the current table as "field 1|field 2", which leaves it past the last one.
QStringList records(TableStore& store) {
    QStringList all;
    store.goToFirstRecord();
    for (int i = 0; i < store.recordCount(); ++i, store.skip())
        all << store.readField(1) + '|' + store.readField(2);
    return all;
}

// The first column of every row the statements give, run on a connection of its own as another
// program would. With keepLog, what they write stays in the log when the connection closes.
QStringList sqlOn(const QString& path, const char* sql, bool keepLog = false) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, int(keepLog), nullptr);
    QStringList values;
    sqlite3_stmt* statement = nullptr;
    while (sqlite3_prepare_v2(db, sql, -1, &statement, &sql) == SQLITE_OK && statement) {
        while (sqlite3_step(statement) == SQLITE_ROW)
            values << QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return values;
}

// What the file holds, in the form records() gives.
QStringList fileRecords(const QString& path) {
    return sqlOn(path,
                 "SELECT ifnull(f1, '') || '|' || ifnull(f2, '') FROM records ORDER BY rowid");
}

// The inline writer answers before the call returns, so the outcome is known right after it.
bool together(TableStore& store, const QStringList& aliases, const std::function<bool()>& work) {
    bool landed = false;
    store.writeTogether(aliases, work, [&landed](bool done) { landed = done; });
    return landed;
}

bool committed(TableStore::Batch& batch) {
    bool landed = false;
    batch.commit([&landed](bool done) { landed = done; });
    return landed;
}

// Runs work on a store in a child process that is then killed outright, with nothing closed.
template <typename Work> bool killedAfter(Work work) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (work(*new TableStore(inlineWriter())))
            ::kill(::getpid(), SIGKILL);
        ::_exit(1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFSIGNALED(status) &&
           WTERMSIG(status) == SIGKILL;
}

// Every file of a directory with its bytes.
QMap<QString, QByteArray> directorySnapshot(const QString& directory) {
    QMap<QString, QByteArray> snapshot;
    const QDir dir(directory);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        snapshot.insert(name, contents(dir.filePath(name)));
    return snapshot;
}

QStringList filesIn(const QString& directory) {
    return QDir(directory).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// The table as createTable makes it for makeStore, with one record.
const char* const StoreSql =
    "CREATE TABLE records(\"f1\" TEXT, \"f2\" TEXT); INSERT INTO records VALUES('a', 'b');";

// Leaves a rollback journal that SQLite must play back: a transaction big enough to spill
// into the file midway is cut off by a kill.
bool crashedMidCommit(const QString& path) {
    return killedAfter([&](TableStore&) {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &db);
        return sqlite3_exec(db,
                            "PRAGMA cache_size=2; BEGIN; "
                            "UPDATE records SET f1 = 'lost ' || hex(randomblob(300));",
                            nullptr, nullptr, nullptr) == SQLITE_OK;
    });
}

// One joint change of two stores open as "a" (many records) and "b" (one record): both are
// emptied and refilled, every record with the same generation number, one past b's.
bool nextGeneration(TableStore& store, int records, const QString& padding = {}) {
    store.makeCurrent("b");
    store.goToFirstRecord();
    const QString next = QString::number(store.readField(1).toInt() + 1);
    return together(store, {"b", "a"}, [&] {
        store.makeCurrent("b");
        if (!store.emptyTable() || !store.appendRecord({next}))
            return false;
        store.makeCurrent("a");
        if (!store.emptyTable())
            return false;
        for (int i = 0; i < records; ++i)
            if (!store.appendRecord({next, padding}))
                return false;
        return true;
    });
}

} // namespace

class TableStoreTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;

    QString path(const QString& name = "t.db") const { return dir_->filePath(name); }
    // A new store of two fields with these first-field texts, current in store as "t".
    void openNewStore(TableStore& store, const QStringList& firstFields) {
        makeStore(path(), firstFields);
        QVERIFY(openCurrent(store, path()));
    }

private slots:
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }

    void createTable_leavesOneEmptyStoreWithColumnsNamedByPosition() {
        const QString file = path(QStringLiteral("备注.db"));
        QVERIFY(!TableStore::fileExists(file));
        TableStore store{inlineWriter()};
        QVERIFY(store.createTable(
            file, {FieldDefinition{}, FieldDefinition{QStringLiteral("名称")}, FieldDefinition{}}));
        QVERIFY(TableStore::fileExists(file));
        QVERIFY(!TableStore::fileExists(dir_->path()));
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("备注.db")});
        QCOMPARE(sqlOn(file, "SELECT name FROM pragma_table_info('records')"),
                 QStringLiteral("字段1,名称,字段3").split(','));
        QVERIFY(openCurrent(store, file));
        QCOMPARE(store.recordCount(), 0);
        QCOMPARE(store.currentRecordNumber(), 1);
    }

    void createTable_refusedWithoutTouchingAnything_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("fieldCount");
        QTest::newRow("existing store") << "store.db" << 2;
        QTest::newRow("existing other file") << "notes.txt" << 2;
        QTest::newRow("missing directory") << "missing/t.db" << 1;
        QTest::newRow("no fields") << "t.db" << 0;
        QTest::newRow("journal of a file gone") << "gone.db" << 2;
        QTest::newRow("log of a file gone") << "lost.db" << 2;
    }

    void createTable_refusedWithoutTouchingAnything() {
        QFETCH(QString, name);
        QFETCH(int, fieldCount);
        makeStore(path("store.db"), {"kept"});
        writeContents(path("notes.txt"), "not a store\n");
        writeContents(path("gone.db-journal"), QByteArray("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8));
        writeContents(path("lost.db-wal"), QByteArray(32, '\x37'));
        const QMap<QString, QByteArray> before = directorySnapshot(dir_->path());
        TableStore store{inlineWriter()};
        QVERIFY(!store.createTable(path(name), QList<FieldDefinition>(fieldCount)));
        QCOMPARE(directorySnapshot(dir_->path()), before);
        QVERIFY(!QFileInfo::exists(path("missing")));
    }

    void stagingLeftovers_removedOnlyWhenMadeForThatFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("removed");
        const QString made = QStringLiteral(".t.db.0123456789abcdef.creating");
        QTest::newRow("staging file") << made << true;
        QTest::newRow("its journal") << made + "-journal" << true;
        QTest::newRow("its log") << made + "-wal" << true;
        QTest::newRow("its log index") << made + "-shm" << true;
        QTest::newRow("hex too short") << ".t.db.0123456789abcde.creating" << false;
        QTest::newRow("hex too long") << ".t.db.0123456789abcdef0.creating" << false;
        QTest::newRow("not hex") << ".t.db.0123456789abcdeg.creating" << false;
        QTest::newRow("other store's") << ".u.db.0123456789abcdef.creating" << false;
        QTest::newRow("name as a pattern") << ".tXdb.0123456789abcdef.creating" << false;
        QTest::newRow("other suffix") << made + "-old" << false;
        QTest::newRow("no leading dot") << made.mid(1) << false;
        QTest::newRow("plain user file") << "notes.txt" << false;
    }

    void stagingLeftovers_removedOnlyWhenMadeForThatFile() {
        QFETCH(QString, name);
        QFETCH(bool, removed);
        for (const bool byCreating : {false, true}) {
            const QTemporaryDir directory;
            const QString leftover = directory.filePath(name);
            writeContents(leftover, "left over");
            const QString store = directory.filePath("t.db");
            if (byCreating)
                QVERIFY(TableStore(inlineWriter()).createTable(store, QList<FieldDefinition>(2)));
            else
                TableStore::removeStagingLeftovers(store);
            QCOMPARE(QFileInfo::exists(leftover), !removed);
            QCOMPARE(QFileInfo::exists(store), byCreating);
        }
    }

    void openTable_foreignOrDamagedFile_refusedAndLeftByteIdentical_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind :
             {"text", "empty", "garbage", "cutMidPage", "cutAtPage", "overwrittenPage",
              "badFreeList", "rollbackJournal", "foreign", "foreignWithLog", "foreignPendingLog"})
            QTest::newRow(kind) << kind;
    }

    void openTable_foreignOrDamagedFile_refusedAndLeftByteIdentical() {
        QFETCH(QString, kind);
        const QString victim = path("victim.db");
        QByteArray bytes = kind == "text" ? QByteArray("编号,名称\n1,甲\n") : QByteArray();
        if (kind == "garbage") {
            bytes = QByteArray("\x13\x9e\x57\x00\xfa\xc4\x21", 7).repeated(1200);
        } else if (kind.startsWith("foreign")) {
            QByteArray sql = "CREATE TABLE people(name TEXT); INSERT INTO people VALUES('x');";
            if (kind != "foreign")
                sql.prepend("PRAGMA journal_mode=WAL;");
            QVERIFY(sqlOn(victim, sql + "SELECT count(*) FROM people", kind.endsWith("PendingLog"))
                        .endsWith("1"));
        } else if (bytes.isEmpty() && kind != "empty") {
            QStringList texts;
            for (int i = 0; i < 400; ++i)
                texts << QStringLiteral("记录内容%1").arg(i).repeated(8);
            makeStore(victim, texts);
            bytes = contents(victim);
            QVERIFY(bytes.size() > 3 * 4096);
            if (kind == "cutMidPage")
                bytes.truncate(bytes.size() / 2 + 100);
            else if (kind == "cutAtPage")
                bytes.truncate(2 * 4096);
            else if (kind == "overwrittenPage")
                bytes.replace(4096, 4096, QByteArray(4096, char(0xA5)));
            // Every record still reads; only the structure beyond them is broken.
            else if (kind == "badFreeList")
                bytes.replace(32, 8, QByteArray("\0\0\0\2\0\0\0\1", 8));
            else
                writeContents(victim + "-journal", QByteArray(4096, '\x5a'));
        }
        if (!kind.startsWith("foreign"))
            writeContents(victim, bytes);
        if (kind.endsWith("PendingLog"))
            QVERIFY(contents(victim + "-wal").size() > 0);
        const QMap<QString, QByteArray> before = directorySnapshot(dir_->path());
        QVERIFY(before.contains("victim.db"));

        TableStore store{inlineWriter()};
        QVERIFY(!store.openTable(victim, "v"));
        QVERIFY(!store.isOpen("v"));
        QCOMPARE(directorySnapshot(dir_->path()), before);
    }

    void openTable_anySchemaButTheStoresOwn_refusedAndLeftByteIdentical_data() {
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<bool>("logPending");
        QTest::newRow("INTEGER column")
            << QByteArray("CREATE TABLE records(\"f1\" INTEGER, \"f2\" TEXT);"
                          "INSERT INTO records VALUES(1, 'b');")
            << false;
        QTest::newRow("NOT NULL column")
            << QByteArray("CREATE TABLE records(\"f1\" TEXT NOT NULL, \"f2\" TEXT);"
                          "INSERT INTO records VALUES('a', 'b');")
            << false;
        QTest::newRow("table name in capitals")
            << QByteArray("CREATE TABLE RECORDS(\"f1\" TEXT, \"f2\" TEXT);"
                          "INSERT INTO RECORDS VALUES('a', 'b');")
            << false;
        const QByteArray store = StoreSql;
        const QByteArray trigger = store + "CREATE TRIGGER stamp AFTER UPDATE ON records "
                                           "BEGIN UPDATE records SET f2 = 'stamped'; END;";
        QTest::newRow("trigger") << trigger << false;
        QTest::newRow("trigger, log pending") << trigger << true;
        QTest::newRow("extra index") << store + "CREATE INDEX byF1 ON records(f1);" << false;
        QTest::newRow("extra table") << store + "CREATE TABLE notes(x TEXT);" << false;
        QTest::newRow("view") << store + "CREATE VIEW firsts AS SELECT f1 FROM records;" << false;
    }

    void openTable_anySchemaButTheStoresOwn_refusedAndLeftByteIdentical() {
        QFETCH(QByteArray, sql);
        QFETCH(bool, logPending);
        const QString victim = path("victim.db");
        if (logPending)
            sql.prepend("PRAGMA journal_mode=WAL;");
        QVERIFY(!sqlOn(victim, sql + "SELECT count(*) FROM sqlite_master", logPending).isEmpty());
        QCOMPARE(QFileInfo::exists(victim + "-wal"), logPending);
        const QMap<QString, QByteArray> before = directorySnapshot(dir_->path());

        TableStore store{inlineWriter()};
        QVERIFY(!store.openTable(victim, "v"));
        QVERIFY(!store.isOpen("v"));
        QCOMPARE(directorySnapshot(dir_->path()), before);
    }

    void storeMadeByHand_acceptedWhateverTextCreatedIt_data() {
        QTest::addColumn<QByteArray>("sql");
        QTest::newRow("unquoted, lower case")
            << QByteArray("create table records(f1 text, f2 text)");
        QTest::newRow("spaced over lines")
            << QByteArray("CREATE TABLE  records (\n  f1   Text,\n  [f2] TEXT\n)");
        QTest::newRow("quoted table name")
            << QByteArray("CREATE TABLE \"records\"('f1' TEXT, `f2` TEXT)");
    }

    void storeMadeByHand_acceptedWhateverTextCreatedIt() {
        QFETCH(QByteArray, sql);
        sqlOn(path(), sql + "; INSERT INTO records VALUES('a', 'b')");
        TableStore store{inlineWriter()};
        QVERIFY(openCurrent(store, path()));
        QCOMPARE(records(store), QStringList{"a|b"});
        QVERIFY(store.openTable(path(), "expected", {"f1", "f2"}));
        store.goToFirstRecord();
        QVERIFY(store.writeField(2, "expected", "written"));
        QCOMPARE(fileRecords(path()), QStringList{"a|written"});
    }

    // The store that expects other fields, such as the other store of the program, never opens
    // a file, whatever it holds; the file is left as it was.
    void storeWithOtherColumns_refusedWhereOthersAreExpected_data() {
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("the other store's fields") << QStringList{"端口1", "端口2", "端口3"};
        QTest::newRow("one field") << QStringList{"f1"};
        QTest::newRow("one field more") << QStringList{"f1", "f2", "f3"};
        QTest::newRow("in another order") << QStringList{"f2", "f1"};
        QTest::newRow("names in capitals") << QStringList{"F1", "F2"};
    }

    void storeWithOtherColumns_refusedWhereOthersAreExpected() {
        QFETCH(QStringList, expected);
        makeStore(path(), {"kept"});
        const QMap<QString, QByteArray> before = directorySnapshot(dir_->path());
        TableStore store{inlineWriter()};
        QVERIFY(!store.openTable(path(), "t", expected));
        QVERIFY(!store.isOpen("t"));
        QCOMPARE(directorySnapshot(dir_->path()), before);
        // Open already under another alias, the file still is no store of other fields.
        QVERIFY(store.openTable(path(), "any"));
        QVERIFY(!store.openTable(path(), "t", expected));
        QVERIFY(store.openTable(path(), "t", {"f1", "f2"}));
    }

    void storeOfOneColumn_opensOnlyWhereThatIsExpected() {
        sqlOn(path(), "CREATE TABLE records(备注的 TEXT); INSERT INTO records VALUES('x')");
        TableStore store{inlineWriter()};
        QVERIFY(!store.openTable(path(), "remarks", {"备注的", "常用的", "字段3"}));
        QVERIFY(store.openTable(path(), "one", {"备注的"}));
        QCOMPARE(store.readField(1, "one"), "x");
    }

    void storeThatCannotBeWritten_opensReadOnlyAndEachWriteFails() {
        makeStore(path("a.db"), {"one", "two"});
        makeStore(path("b.db"), {"other"});
        const QMap<QString, QByteArray> before = directorySnapshot(dir_->path());
        const WriteProtection protection({path("a.db")});
        QVERIFY(WriteProtection::refuses(path("a.db")));
        TableStore store{inlineWriter()};
        QVERIFY(openCurrent(store, path("a.db"), "a"));
        QCOMPARE(records(store), (QStringList{"one|", "two|"}));
        store.goToFirstRecord();
        QVERIFY(!store.writeField(1, "x"));
        QVERIFY(!store.writeField(2, "a", "x"));
        QVERIFY(!store.appendRecord({"three"}));
        QVERIFY(!store.appendBlankRecord());
        QVERIFY(!store.emptyTable());
        {
            TableStore::Batch batch(store);
            QVERIFY(!store.appendRecord({"three"}));
        }
        QVERIFY(store.openTable(path("b.db"), "b"));
        QVERIFY(!together(store, {"b", "a"}, [&] {
            return store.writeField(1, "b", "changed") && store.appendRecord({"three"});
        }));
        QCOMPARE(records(store), (QStringList{"one|", "two|"}));
        QCOMPARE(store.readField(1, "b"), "other");
        QCOMPARE(directorySnapshot(dir_->path()), before);
    }

    void crashMidCommit_playedBackOnlyWhenTheFileProvesAStore_data() {
        QTest::addColumn<QByteArray>("extraSql");
        QTest::addColumn<bool>("opens");
        QTest::newRow("store") << QByteArray() << true;
        QTest::newRow("with an extra index")
            << QByteArray("CREATE INDEX byF1 ON records(f1)") << false;
    }

    void crashMidCommit_playedBackOnlyWhenTheFileProvesAStore() {
        QFETCH(QByteArray, extraSql);
        QFETCH(bool, opens);
        QStringList texts;
        for (int i = 0; i < 400; ++i)
            texts << QStringLiteral("记录%1").arg(i);
        makeStore(path(), texts);
        if (!extraSql.isEmpty())
            sqlOn(path(), extraSql.constData());
        const QStringList committed = fileRecords(path());
        const QByteArray bytes = contents(path());
        QVERIFY(crashedMidCommit(path()));
        QVERIFY(contents(path() + "-journal").startsWith(QByteArray("\xd9\xd5\x05\xf9", 4)));
        QVERIFY(contents(path()) != bytes);
        const QMap<QString, QByteArray> before = directorySnapshot(dir_->path());

        TableStore store{inlineWriter()};
        QCOMPARE(openCurrent(store, path()), opens);
        if (!opens) {
            QCOMPARE(directorySnapshot(dir_->path()), before);
            return;
        }
        QCOMPARE(contents(path()), bytes);
        QCOMPARE(filesIn(dir_->path()), QStringList{"t.db"});
        QCOMPARE(records(store), committed);
    }

    void writes_landInTheFileAloneWhileTheTableStaysOpen_data() {
        QTest::addColumn<QString>("write");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("field") << "field" << QStringList{"one|", QStringLiteral("two|二")};
        QTest::newRow("record") << "record" << QStringList{"one|", "two|", "three|"};
        QTest::newRow("batch") << "batch" << QStringList{"one|x", "two|", "three|", "|"};
        QTest::newRow("emptying") << "emptying" << QStringList{};
    }

    void writes_landInTheFileAloneWhileTheTableStaysOpen() {
        QFETCH(QString, write);
        QFETCH(QStringList, expected);
        TableStore store{inlineWriter()};
        openNewStore(store, {"one", "two"});
        store.skip();
        if (write == "field") {
            QVERIFY(store.writeField(2, QStringLiteral("二")));
        } else if (write == "record") {
            QVERIFY(store.appendRecord({"three"}));
        } else if (write == "batch") {
            TableStore::Batch batch(store);
            store.goToFirstRecord();
            QVERIFY(store.writeField(2, "x"));
            QVERIFY(store.appendRecord({"three"}));
            QVERIFY(store.appendBlankRecord());
        } else {
            QVERIFY(store.emptyTable());
        }
        QVERIFY(store.isOpen("t"));
        QCOMPARE(filesIn(dir_->path()), QStringList{"t.db"});
        const QTemporaryDir elsewhere;
        const QString copy = elsewhere.filePath("copy.db");
        QVERIFY(QFile::copy(path(), copy));
        TableStore other{inlineWriter()};
        QVERIFY(openCurrent(other, copy));
        QCOMPARE(records(other), expected);
    }

    void storeOfTheLogFormat_opensWithItsRecordsAndLeavesNoLog_data() {
        QTest::addColumn<bool>("logPending");
        QTest::newRow("closed cleanly") << false;
        QTest::newRow("log pending") << true;
    }

    void storeOfTheLogFormat_opensWithItsRecordsAndLeavesNoLog() {
        QFETCH(bool, logPending);
        const QByteArray sql =
            QByteArray("PRAGMA journal_mode=WAL;") + StoreSql +
            "INSERT INTO records VALUES('c', NULL); SELECT count(*) FROM records";
        QCOMPARE(sqlOn(path(), sql.constData(), logPending), (QStringList{"wal", "2"}));
        QCOMPARE(QFileInfo::exists(path() + "-wal"), logPending);
        QCOMPARE(contents(path()).at(18), char(2));

        TableStore store{inlineWriter()};
        QVERIFY(openCurrent(store, path()));
        QCOMPARE(records(store), (QStringList{"a|b", "c|"}));
        QCOMPARE(filesIn(dir_->path()), QStringList{"t.db"});
        QCOMPARE(contents(path()).at(18), char(1));
        store.goToFirstRecord();
        QVERIFY(store.writeField(2, "new"));
        QCOMPARE(filesIn(dir_->path()), QStringList{"t.db"});
        store.closeTable("t");
        QCOMPARE(fileRecords(path()), (QStringList{"a|new", "c|"}));
    }

    void currentTable_followsMakeCurrentAndReopeningItsAlias() {
        makeStore(path("1.db"), {"one"});
        makeStore(path("2.db"), {"two", "three"});
        TableStore store{inlineWriter()};
        QVERIFY(openCurrent(store, path("1.db"), "a"));
        QVERIFY(store.openTable(path("2.db"), "b"));
        QVERIFY(!store.makeCurrent("nope"));
        QCOMPARE(store.readField(1), "one");
        QVERIFY(store.makeCurrent("b"));
        QVERIFY(store.appendRecord({"four"}));
        QVERIFY(store.makeCurrent("a"));
        QCOMPARE(store.recordCount(), 1);
        QVERIFY(store.makeCurrent("b"));
        QCOMPARE(store.currentRecordNumber(), 3);
        QCOMPARE(store.readField(1), "four");
        QVERIFY(store.openTable(path("1.db"), "b"));
        QCOMPARE(store.readField(1), "one");
        QVERIFY(!store.openTable(path("missing.db"), "b"));
        QVERIFY(!store.openTable(dir_->path(), "c"));
        QVERIFY(!store.isOpen("b") && !store.isOpen("c"));
        QVERIFY(!QFileInfo::exists(path("missing.db")));
        QCOMPARE(store.readField(1), QString());
    }

    void withoutCurrentTable_operationsDoNothingUntilOneIsMade() {
        makeStore(path(), {"a", "b"});
        TableStore store{inlineWriter()};
        store.closeTable("never");
        QVERIFY(openCurrent(store, path()));
        store.closeTable("t");
        QVERIFY(store.openTable(path(), "t"));
        store.goToFirstRecord();
        store.skip();
        QCOMPARE(store.recordCount(), 0);
        QCOMPARE(store.currentRecordNumber(), 0);
        QCOMPARE(store.readField(1), QString());
        QVERIFY(!store.writeField(1, "x"));
        QVERIFY(!store.appendRecord({"x"}));
        QVERIFY(!store.emptyTable());
        {
            TableStore::Batch batch(store);
            QVERIFY(!store.appendBlankRecord());
        }
        QVERIFY(store.makeCurrent("t"));
        QCOMPARE(store.currentRecordNumber(), 1);
        QVERIFY(store.appendBlankRecord());
        QCOMPARE(fileRecords(path()), (QStringList{"a|", "b|", "|"}));
    }

    void aliases_ofOneFileShareRecordsWhileEachKeepsItsOwnRecord() {
        TableStore store{inlineWriter()};
        openNewStore(store, {"one", "two"});
        QVERIFY(store.openTable(path(), "b"));
        store.skip();
        QVERIFY(store.writeField(2, "b", "by b"));
        QVERIFY(!store.writeField(1, "nope", "x"));
        QCOMPARE(store.readField(1, "nope"), QString());
        QCOMPARE(store.currentRecordNumber(), 2);
        QVERIFY(store.appendRecord({"three"}));
        QCOMPARE(store.readField(1, "b"), "one");
        QVERIFY(store.makeCurrent("b"));
        QCOMPARE(store.currentRecordNumber(), 1);
        store.closeTable("t");
        QCOMPARE(records(store), (QStringList{"one|by b", "two|", "three|"}));
    }

    void walkingAndWriting_stayWithinTheRecordsAndFields() {
        TableStore store{inlineWriter()};
        openNewStore(store, {"one", "two", "three"});
        for (int number = 1; number <= 4; ++number, store.skip())
            QCOMPARE(store.currentRecordNumber(), number);
        QCOMPARE(store.currentRecordNumber(), 4);
        QCOMPARE(store.readField(1), QString());
        QVERIFY(!store.writeField(1, "nowhere"));
        store.goToFirstRecord();
        QCOMPARE(store.readField(1), "one");
        store.skip();
        QVERIFY(store.writeField(2, "second"));
        QVERIFY(store.writeField(1, QString()));
        QVERIFY(!store.writeField(0, "x") && !store.writeField(3, "x"));
        QCOMPARE(store.readField(0), QString());
        QCOMPARE(store.readField(3), QString());
        QCOMPARE(records(store), (QStringList{"one|", "|second", "three|"}));
        QCOMPARE(fileRecords(path()), records(store));
    }

    void chineseTexts_storedInFullBeyondMaxLength() {
        const QString thirty =
            QStringLiteral("一二三四五六七八九十甲乙丙丁戊己庚辛壬癸子丑寅卯辰巳午未申酉");
        const QString long_ = QStringLiteral("备注：开关已接通，请勿重复操作。").repeated(40);
        TableStore store{inlineWriter()};
        openNewStore(store, {thirty});
        QVERIFY(store.writeField(2, long_));
        TableStore other{inlineWriter()};
        QVERIFY(other.openTable(path(), "t"));
        QCOMPARE(other.readField(1, "t"), thirty);
        QCOMPARE(other.readField(2, "t"), long_);
    }

    void appendRecord_addsAtTheEndAndBecomesCurrentUntilEmptied() {
        TableStore store{inlineWriter()};
        openNewStore(store, {"one"});
        QVERIFY(store.appendRecord({"two"}));
        QCOMPARE(store.currentRecordNumber(), 2);
        QVERIFY(store.appendRecord({"a", "b", "dropped"}));
        QVERIFY(store.appendBlankRecord());
        QCOMPARE(store.currentRecordNumber(), 4);
        QVERIFY(store.writeField(1, "four"));
        QCOMPARE(records(store), (QStringList{"one|", "two|", "a|b", "four|"}));
        QVERIFY(store.emptyTable());
        QCOMPARE(store.recordCount(), 0);
        QVERIFY(store.appendRecord({"fresh"}));
        QCOMPARE(store.currentRecordNumber(), 1);
        QCOMPARE(fileRecords(path()), QStringList{"fresh|"});
    }

    void killedProcess_leavesEveryCompletedWriteAndNoneOfAnUnendedBatch() {
        makeStore(path(), {"one"});
        QVERIFY(killedAfter([&](TableStore& store) {
            if (!openCurrent(store, path()) || !store.writeField(2, "before the kill") ||
                !store.appendRecord({"two", QStringLiteral("二")}) || !store.appendBlankRecord())
                return false;
            // Never ended: the kill comes while it is still open.
            new TableStore::Batch(store);
            store.goToFirstRecord();
            return store.writeField(1, "lost") && store.appendRecord({"lost"});
        }));
        TableStore store{inlineWriter()};
        QVERIFY(openCurrent(store, path()));
        QCOMPARE(records(store),
                 (QStringList{"one|before the kill", QStringLiteral("two|二"), "|"}));
        QVERIFY(store.appendRecord({"four"}));
        QCOMPARE(fileRecords(path()).size(), 4);
        QCOMPARE(filesIn(dir_->path()), QStringList{"t.db"});
    }

    // While open, the records in memory are the truth; a file with nothing on its way to it is
    // read again when opened anew.
    void changesByAnotherConnection_seenOnceOpenedAgain() {
        TableStore store{inlineWriter()};
        openNewStore(store, {"one", "two"});
        sqlOn(path(), "DELETE FROM records; INSERT INTO records(f1) VALUES('other')");
        QCOMPARE(store.recordCount(), 2);
        QVERIFY(openCurrent(store, path()));
        QCOMPARE(store.recordCount(), 1);
        QCOMPARE(store.readField(1), "other");
        QVERIFY(store.writeField(2, "ours"));
        QCOMPARE(fileRecords(path()), QStringList{"other|ours"});
    }

    void batch_of339Records_landsComplete() {
        TableStore store{inlineWriter()};
        openNewStore(store, {});
        {
            TableStore::Batch batch(store);
            QVERIFY(store.appendRecord({"1"}));
            for (int i = 0; i < 338; ++i)
                QVERIFY(store.appendBlankRecord());
        }
        QCOMPARE(fileRecords(path()), QStringList{"1|"} + QStringList(338, "|"));
    }

    void batch_holdsEveryWriteToItsFileUntilTheOutermostEndsEvenAfterClosing() {
        TableStore store{inlineWriter()};
        openNewStore(store, {"one"});
        QVERIFY(store.openTable(path(), "b"));
        {
            TableStore::Batch outer(store);
            QVERIFY(store.appendRecord({"two"}));
            {
                TableStore::Batch inner(store);
                QVERIFY(store.writeField(2, "b", "through b"));
            }
            QCOMPARE(store.recordCount(), 2);
            QCOMPARE(fileRecords(path()), QStringList{"one|"});
            store.closeTable("t");
            store.closeTable("b");
        }
        QCOMPARE(fileRecords(path()), (QStringList{"one|through b", "two|"}));
    }

    void batchCommit_ofAnInnerBatchIsAnsweredWithTheOutermost() {
        TableStore store{inlineWriter()};
        openNewStore(store, {"one"});
        TableStore::Batch outer(store);
        QVERIFY(store.appendRecord({"two"}));
        std::optional<bool> innerLanded;
        {
            TableStore::Batch inner(store);
            QVERIFY(store.appendRecord({"three"}));
            inner.commit([&innerLanded](bool done) { innerLanded = done; });
        }
        QVERIFY(!innerLanded);
        QCOMPARE(fileRecords(path()), QStringList{"one|"});
        QVERIFY(committed(outer));
        QCOMPARE(innerLanded, std::optional(true));
        QCOMPARE(fileRecords(path()), (QStringList{"one|", "two|", "three|"}));
        QVERIFY(store.appendRecord({"four"}));
        QCOMPARE(fileRecords(path()).size(), 4);
    }

    // Each write of the batch lands in SQLite's cache and says so; only the commit needs the
    // file to grow, which it may not: SIGXFSZ is ignored, so the write fails as on a full disk.
    void batchCommit_whenTheFileCannotGrow_saysSoAndLeavesTheFileAsItWas() {
        makeStore(path(), {"one"});
        const QByteArray bytes = contents(path());
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlim_t limit = rlim_t(bytes.size()) + 64 * 1024;
            const rlimit fileSize{limit, limit};
            TableStore store{inlineWriter()};
            if (::setrlimit(RLIMIT_FSIZE, &fileSize) != 0 || !openCurrent(store, path()))
                ::_exit(2);
            TableStore::Batch batch(store);
            for (int i = 0; i < 300; ++i)
                if (!store.appendRecord({QString(2000, 'x')}))
                    ::_exit(3);
            ::_exit(committed(batch) ? 1 : 0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(contents(path()), bytes);
        QCOMPARE(fileRecords(path()), QStringList{"one|"});
    }

    void writeTogether_commitsEveryWriteOfTheWorkOrNone_data() {
        QTest::addColumn<bool>("workSucceeds");
        QTest::newRow("work done") << true;
        QTest::newRow("work given up") << false;
    }

    void writeTogether_commitsEveryWriteOfTheWorkOrNone() {
        QFETCH(bool, workSucceeds);
        makeStore(path("a.db"), {"one", "two"});
        makeStore(path("b.db"), {"first"});
        TableStore store{inlineWriter()};
        QVERIFY(openCurrent(store, path("a.db"), "a"));
        QVERIFY(store.openTable(path("b.db"), "b"));
        QVERIFY(store.openTable(path("b.db"), "b again"));
        QStringList seenInWork;
        const bool jointly = together(store, {"a", "b"}, [&] {
            store.skip();
            if (!store.writeField(2, "a's") || !store.writeField(1, "b", "b's"))
                return false;
            {
                // A batch inside the work ends with it, not on its own.
                TableStore::Batch batch(store);
                if (!store.appendRecord({"three"}))
                    return false;
            }
            seenInWork << fileRecords(path("a.db")) << store.readField(1, "b again");
            store.makeCurrent("b");
            return store.appendRecord({"second"}) && workSucceeds;
        });
        QCOMPARE(jointly, workSucceeds);
        QCOMPARE(seenInWork, (QStringList{"one|", "two|", "b's"}));
        const QStringList a =
            workSucceeds ? QStringList{"one|", "two|a's", "three|"} : QStringList{"one|", "two|"};
        const QStringList b = workSucceeds ? QStringList{"b's|", "second|"} : QStringList{"first|"};
        QCOMPARE(fileRecords(path("a.db")), a);
        QCOMPARE(fileRecords(path("b.db")), b);
        QCOMPARE(records(store), b);
        QVERIFY(store.makeCurrent("a"));
        QCOMPARE(records(store), a);
        QVERIFY(store.makeCurrent("b again"));
        QCOMPARE(records(store), b);
        // Each file is on its own connection again.
        QVERIFY(store.appendRecord({"later"}));
        QCOMPARE(fileRecords(path("b.db")).size(), b.size() + 1);
        QCOMPARE(fileRecords(path("a.db")), a);
    }

    void writeTogether_refusedForAnAliasThatIsNotOpen() {
        makeStore(path("a.db"), {"one"});
        TableStore store{inlineWriter()};
        QVERIFY(openCurrent(store, path("a.db"), "a"));
        bool ran = false;
        QVERIFY(!together(store, {"a", "nope"}, [&] { return ran = true; }));
        QVERIFY(!together(store, {}, [&] { return ran = true; }));
        QVERIFY(!ran);
    }

    // A write that fails inside the work may have ended SQLite's transaction already; the
    // writes after it must not then land one by one.
    void writeTogether_afterAFailedWrite_commitsNothingEvenIfTheWorkGoesOn() {
        makeStore(path("a.db"), {"one"});
        makeStore(path("b.db"), {"first"});
        TableStore store{inlineWriter()};
        QVERIFY(openCurrent(store, path("a.db"), "a"));
        QVERIFY(store.openTable(path("b.db"), "b"));
        bool firstWritten = false;
        bool pastTheLastWritten = true;
        const bool jointly = together(store, {"a", "b"}, [&] {
            firstWritten = store.writeField(1, "changed");
            store.skip();
            pastTheLastWritten = store.writeField(1, "past the last record");
            store.writeField(1, "b", "changed too");
            store.goToFirstRecord();
            store.writeField(2, "after the failure");
            return true;
        });
        QVERIFY(firstWritten);
        QVERIFY(!pastTheLastWritten);
        QVERIFY(!jointly);
        QCOMPARE(fileRecords(path("a.db")), QStringList{"one|"});
        QCOMPARE(fileRecords(path("b.db")), QStringList{"first|"});
        QCOMPARE(records(store), QStringList{"one|"});
    }

    void staleSuperJournals_removedOnlyWhileNoJournalIsLeft_data() {
        QTest::addColumn<QString>("journal");
        QTest::newRow("no journal") << QString();
        QTest::newRow("journal of the first file") << "a.db-journal";
        QTest::newRow("journal of the second file") << "b.db-journal";
    }

    void staleSuperJournals_removedOnlyWhileNoJournalIsLeft() {
        QFETCH(QString, journal);
        makeStore(path("a.db"), {"one"});
        makeStore(path("b.db"), {"two"});
        const QStringList superJournals{"a.db-mj1DCEF1903", "b.db-mjE95B999DE"};
        for (const QString& name : superJournals + QStringList{"a.db-mj1DCEF19", "c.db-mjE95B999DE",
                                                               "b.db-mjE95B999DE.old"})
            writeContents(path(name), "super");
        if (!journal.isEmpty())
            writeContents(path(journal), "journal");
        TableStore::removeStaleSuperJournals({path("a.db"), path("b.db")});
        for (const QString& name : superJournals)
            QCOMPARE(QFileInfo::exists(path(name)), !journal.isEmpty());
        QVERIFY(QFileInfo::exists(path("a.db-mj1DCEF19")));
        QVERIFY(QFileInfo::exists(path("c.db-mjE95B999DE")));
        QVERIFY(QFileInfo::exists(path("b.db-mjE95B999DE.old")));
    }

    // Kills land anywhere in a stream of joint changes, commits included; each reopening sees
    // one whole generation in both files: the last one reported done, or the one after it.
    void writeTogether_killedAtAnyPoint_leavesBothFilesChangedOrNeither() {
        constexpr int Records = 300;
        const QString a = path("a.db");
        const QString b = path("b.db");
        makeStore(a, QStringList(Records, "0"));
        makeStore(b, {"0"});
        int generation = 0;
        for (int round = 0; round < 30; ++round) {
            int reports[2];
            QVERIFY(::pipe(reports) == 0);
            const pid_t child = ::fork();
            if (child == 0) {
                ::close(reports[0]);
                TableStore store{inlineWriter()};
                if (!store.openTable(a, "a") || !store.openTable(b, "b"))
                    ::_exit(2);
                for (;;) {
                    if (!nextGeneration(store, Records))
                        ::_exit(3);
                    store.makeCurrent("b");
                    const int done = store.readField(1).toInt();
                    if (::write(reports[1], &done, sizeof done) != sizeof done)
                        ::_exit(4);
                }
            }
            ::close(reports[1]);
            int done = -1;
            QCOMPARE(::read(reports[0], &done, sizeof done), qsizetype(sizeof done));
            ::usleep(QRandomGenerator::global()->bounded(20'000));
            ::kill(child, SIGKILL);
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFSIGNALED(status));
            int reported = done;
            while (::read(reports[0], &done, sizeof done) == sizeof done)
                reported = done;
            ::close(reports[0]);
            QVERIFY(reported > generation);

            TableStore store{inlineWriter()};
            QVERIFY(openCurrent(store, b, "b"));
            QCOMPARE(store.recordCount(), 1);
            const QString seen = store.readField(1);
            QVERIFY2(seen == QString::number(reported) || seen == QString::number(reported + 1),
                     qPrintable(seen + " after " + QString::number(reported)));
            QVERIFY(openCurrent(store, a, "a"));
            QCOMPARE(records(store), QStringList(Records, seen + '|'));
            // A journal not yet complete when the kill came is not played back, but stays until
            // the next write, and with it a super-journal that no journal refers to.
            QVERIFY(store.openTable(b, "b"));
            QVERIFY(nextGeneration(store, Records));
            generation = seen.toInt() + 1;
            TableStore::removeStaleSuperJournals({a, b});
            QCOMPARE(filesIn(dir_->path()), (QStringList{"a.db", "b.db"}));
        }
    }

    // The joint change needs one file to grow past what this process may write; SIGXFSZ is
    // ignored, so the write fails as on a full disk.
    void writeTogether_whenAFileCannotGrow_returnsFalseAndLeavesBothFilesAsTheyWere() {
        constexpr int Records = 300;
        const QString a = path("a.db");
        const QString b = path("b.db");
        makeStore(a, QStringList(Records, "0"));
        makeStore(b, {"0"});
        const QByteArray aBytes = contents(a);
        const QByteArray bBytes = contents(b);
        const rlim_t limit = rlim_t(std::max(aBytes.size(), bBytes.size())) + 64 * 1024;
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit fileSize{limit, limit};
            TableStore store{inlineWriter()};
            if (::setrlimit(RLIMIT_FSIZE, &fileSize) != 0 || !store.openTable(a, "a") ||
                !store.openTable(b, "b"))
                ::_exit(2);
            ::_exit(nextGeneration(store, Records, QString(2000, 'x')) ? 1 : 0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(contents(a), aBytes);
        QCOMPARE(contents(b), bBytes);
        TableStore store{inlineWriter()};
        QVERIFY(openCurrent(store, a, "a"));
        QCOMPARE(records(store), QStringList(Records, "0|"));
        QVERIFY(openCurrent(store, b, "b"));
        QCOMPARE(records(store), QStringList{"0|"});
        QCOMPARE(filesIn(dir_->path()), (QStringList{"a.db", "b.db"}));
    }
};

QTEST_GUILESS_MAIN(TableStoreTest)
#include "test_table_store.moc"
