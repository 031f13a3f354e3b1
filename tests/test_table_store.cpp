#include "store/table_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QList<FieldDefinition> textFields(int count) {
    QList<FieldDefinition> fields;
    for (int i = 1; i <= count; ++i)
        fields.append(FieldDefinition{QStringLiteral("f%1").arg(i), FieldDefinition::TextType, 20});
    return fields;
}

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
    TableStore store;
    QVERIFY(store.createTable(path, textFields(2)));
    QVERIFY(store.openTable(path, QStringLiteral("s")));
    QVERIFY(store.makeCurrent(QStringLiteral("s")));
    for (const QString& text : firstFields)
        QVERIFY(store.appendRecord({text}));
}

// A connection of its own on a file, as another program would have.
class RawDatabase {
public:
    explicit RawDatabase(const QString& path) {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    }
    ~RawDatabase() { sqlite3_close_v2(db_); }
    RawDatabase(const RawDatabase&) = delete;
    RawDatabase& operator=(const RawDatabase&) = delete;

    sqlite3* handle() const { return db_; }
    bool execute(const char* sql) const {
        return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    QStringList column(const char* sql) const {
        QStringList values;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
                values << QString::fromUtf8(text, sqlite3_column_bytes(statement, 0));
            }
        }
        sqlite3_finalize(statement);
        return values;
    }
    int recordCount() const {
        const QStringList count = column("SELECT count(*) FROM records");
        return count.size() == 1 ? count[0].toInt() : -1;
    }

private:
    sqlite3* db_ = nullptr;
};

// Runs work on a store in a child process that is then killed outright, with nothing closed.
bool killedAfter(const std::function<bool(TableStore&)>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        auto* store = new TableStore;
        if (!work(*store))
            ::_exit(1);
        ::kill(::getpid(), SIGKILL);
        ::_exit(2);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFSIGNALED(status) &&
           WTERMSIG(status) == SIGKILL;
}

// Every file of a directory with its bytes, except the shared-memory index SQLite keeps beside
// a log, which holds no data.
QMap<QString, QByteArray> directorySnapshot(const QString& directory) {
    QMap<QString, QByteArray> snapshot;
    const QDir dir(directory);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
        if (!name.endsWith(QLatin1String("-shm")))
            snapshot.insert(name, contents(dir.filePath(name)));
    return snapshot;
}

} // namespace

class TableStoreTest : public QObject {
    Q_OBJECT

private slots:
    void createTable_newFile_opensEmptyAndPastTheEnd();
    void createTable_leavesOnlyTheStoreFileBehind();
    void createTable_existingFile_failsAndLeavesFileUntouched();
    void createTable_unnamedFields_nameColumnsByPosition();
    void createTable_missingDirectoryOrNoFields_fails();
    void fileExists_trueOnlyForFiles();

    void openTable_missingFileOrDirectory_fails();
    void openTable_damagedOrForeignFile_failsAndLeavesFilesUntouched_data();
    void openTable_damagedOrForeignFile_failsAndLeavesFilesUntouched();

    void withoutCurrentTable_operationsDoNothingAndReadEmpty();
    void makeCurrent_switchesTheTableOperationsActOn();
    void makeCurrent_aliasNotOpen_failsAndKeepsCurrentTable();
    void closeTable_aliasNotOpen_isHarmless();
    void closeTable_currentAlias_leavesNoCurrentTable();
    void openTable_otherAlias_keepsCurrentTable();
    void openTable_openAlias_replacesItsTableAndStaysCurrent();
    void fieldAccessByAlias_leavesCurrentTableAndRecordAlone();
    void sameFileUnderTwoAliases_sharesRecordsButNotPosition();

    void openTable_positionsOnFirstRecord();
    void skip_walksRecordsInOrderAndStopsPastTheLast();
    void goToFirstRecord_returnsToRecordOne();

    void writeField_thenReadField_returnsTheText();
    void fieldPositionOutsideFields_readsEmptyAndWriteFails();
    void writeField_pastTheLastRecord_failsAndAddsNothing();
    void blankFields_readEmpty();
    void chineseTexts_storedInFullBeyondMaxLength();
    void appendRecord_fewerTexts_leavesRestBlankAndBecomesCurrent();
    void appendRecord_moreTextsThanFields_dropsTheExtra();
    void appendBlankRecord_addsAtTheEndAndBecomesCurrent();
    void emptyTable_removesAllRecordsAndNumberingRestarts();

    void completedWrite_isInTheFileForOtherReadersAtOnce();
    void reopenAfterClose_keepsEveryCompletedWrite();
    void killedAfterWrites_reopenFindsEveryWrite();
    void killedInsideBatch_fileOpensWithRecordsCommittedBefore();
    void changesByAnotherConnection_seenFromFirstRecordOn();

    void batch_of339Records_landsComplete();
    void batch_invisibleToOtherReadersUntilItEnds();
    void nestedBatch_commitsWhenOutermostEnds();
    void batch_takesWritesThroughAnotherAliasOfTheSameFile();
    void batch_outlivingItsClosedTable_stillCommits();
    void batch_withoutCurrentTable_isHarmless();
};

void TableStoreTest::createTable_newFile_opensEmptyAndPastTheEnd() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("备注.db"));
    TableStore store;
    QVERIFY(store.createTable(path, textFields(3)));
    QVERIFY(TableStore::fileExists(path));
    QVERIFY(store.openTable(path, QStringLiteral("a")));
    QVERIFY(store.isOpen(QStringLiteral("a")));
    QVERIFY(store.makeCurrent(QStringLiteral("a")));
    QCOMPARE(store.recordCount(), 0);
    QCOMPARE(store.currentRecordNumber(), 1);
    QCOMPARE(store.readField(1), QString());
    store.closeTable(QStringLiteral("a"));
    QVERIFY(!store.isOpen(QStringLiteral("a")));
}

void TableStoreTest::createTable_leavesOnlyTheStoreFileBehind() {
    QTemporaryDir dir;
    TableStore store;
    QVERIFY(store.createTable(dir.filePath(QStringLiteral("t.db")), textFields(1)));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"t.db"});
}

void TableStoreTest::createTable_existingFile_failsAndLeavesFileUntouched() {
    QTemporaryDir dir;
    const QString storePath = dir.filePath(QStringLiteral("store.db"));
    makeStore(storePath, {QStringLiteral("kept")});
    const QString textPath = dir.filePath(QStringLiteral("notes.txt"));
    writeContents(textPath, "not a store\n");
    const QByteArray storeBefore = contents(storePath);

    TableStore store;
    QVERIFY(!store.createTable(storePath, textFields(2)));
    QVERIFY(!store.createTable(textPath, textFields(2)));

    QCOMPARE(contents(storePath), storeBefore);
    QCOMPARE(contents(textPath), QByteArray("not a store\n"));
    QVERIFY(store.openTable(storePath, QStringLiteral("s")));
    QCOMPARE(store.readField(1, QStringLiteral("s")), QStringLiteral("kept"));
}

void TableStoreTest::createTable_unnamedFields_nameColumnsByPosition() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    TableStore store;
    QVERIFY(store.createTable(
        path, {FieldDefinition{}, FieldDefinition{QStringLiteral("名称")}, FieldDefinition{}}));
    const RawDatabase raw(path);
    QCOMPARE(
        raw.column("SELECT name FROM pragma_table_info('records')"),
        (QStringList{QStringLiteral("字段1"), QStringLiteral("名称"), QStringLiteral("字段3")}));
}

void TableStoreTest::createTable_missingDirectoryOrNoFields_fails() {
    QTemporaryDir dir;
    TableStore store;
    const QString inMissingDirectory = dir.filePath(QStringLiteral("missing/t.db"));
    QVERIFY(!store.createTable(inMissingDirectory, textFields(1)));
    QVERIFY(!TableStore::fileExists(inMissingDirectory));
    const QString withoutFields = dir.filePath(QStringLiteral("t.db"));
    QVERIFY(!store.createTable(withoutFields, {}));
    QVERIFY(!TableStore::fileExists(withoutFields));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TableStoreTest::fileExists_trueOnlyForFiles() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f"));
    QVERIFY(!TableStore::fileExists(path));
    writeContents(path, "x");
    QVERIFY(TableStore::fileExists(path));
    QVERIFY(!TableStore::fileExists(dir.path()));
}

void TableStoreTest::openTable_missingFileOrDirectory_fails() {
    QTemporaryDir dir;
    TableStore store;
    QVERIFY(!store.openTable(dir.filePath(QStringLiteral("missing.db")), QStringLiteral("a")));
    QVERIFY(!store.openTable(dir.path(), QStringLiteral("a")));
    QVERIFY(!store.isOpen(QStringLiteral("a")));
    QVERIFY(!TableStore::fileExists(dir.filePath(QStringLiteral("missing.db"))));
}

void TableStoreTest::openTable_damagedOrForeignFile_failsAndLeavesFilesUntouched_data() {
    QTest::addColumn<QString>("damage");
    for (const char* damage :
         {"text", "empty", "garbage", "truncatedMidPage", "truncatedAtPageBoundary",
          "overwrittenPage", "damagedFreeList", "foreignDatabase", "foreignLogDatabase",
          "foreignDatabaseWithPendingLog", "storeWithRollbackJournal"})
        QTest::newRow(damage) << QString::fromLatin1(damage);
}

void TableStoreTest::openTable_damagedOrForeignFile_failsAndLeavesFilesUntouched() {
    QFETCH(QString, damage);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("victim.db"));
    QStringList texts;
    for (int i = 0; i < 400; ++i)
        texts << QStringLiteral("记录内容%1").arg(i).repeated(8);

    if (damage == QLatin1String("text")) {
        writeContents(path, "编号,名称\n1,甲\n");
    } else if (damage == QLatin1String("empty")) {
        writeContents(path, {});
    } else if (damage == QLatin1String("garbage")) {
        QByteArray noise(8192, '\0');
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) % 251);
        writeContents(path, noise);
    } else if (damage.startsWith(QLatin1String("truncated"))) {
        const QString original = dir.filePath(QStringLiteral("original.db"));
        makeStore(original, texts);
        const QByteArray whole = contents(original);
        QVERIFY(QFile::remove(original));
        QVERIFY(whole.size() > 3 * 4096);
        const qsizetype cut =
            damage == QLatin1String("truncatedMidPage") ? whole.size() / 2 + 100 : 2 * 4096;
        writeContents(path, whole.left(cut));
    } else if (damage == QLatin1String("overwrittenPage")) {
        makeStore(path, texts);
        QByteArray bytes = contents(path);
        QVERIFY(bytes.size() > 3 * 4096);
        for (qsizetype i = 4096; i < 2 * 4096; ++i)
            bytes[i] = char(0xA5);
        writeContents(path, bytes);
    } else if (damage == QLatin1String("damagedFreeList")) {
        // Every record still reads; only the structure beyond them is broken.
        makeStore(path, texts);
        QByteArray bytes = contents(path);
        const char freeList[] = {0, 0, 0, 2, 0, 0, 0, 1};
        bytes.replace(32, 8, freeList, 8);
        writeContents(path, bytes);
    } else if (damage.startsWith(QLatin1String("foreign"))) {
        const RawDatabase raw(path);
        if (damage != QLatin1String("foreignDatabase"))
            QVERIFY(raw.execute("PRAGMA journal_mode=WAL"));
        QVERIFY(raw.execute("CREATE TABLE people(name TEXT); INSERT INTO people VALUES('x')"));
        if (damage == QLatin1String("foreignDatabaseWithPendingLog")) {
            sqlite3_db_config(raw.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
            QVERIFY(raw.execute("INSERT INTO people VALUES('still in the log')"));
        }
    } else if (damage == QLatin1String("storeWithRollbackJournal")) {
        makeStore(path, texts);
        writeContents(path + QLatin1String("-journal"), QByteArray(4096, '\x5a'));
    }
    if (damage == QLatin1String("foreignDatabaseWithPendingLog"))
        QVERIFY(contents(path + QLatin1String("-wal")).size() > 0);
    const QMap<QString, QByteArray> before = directorySnapshot(dir.path());
    QVERIFY(before.contains(QStringLiteral("victim.db")));

    TableStore store;
    QVERIFY(!store.openTable(path, QStringLiteral("v")));
    QVERIFY(!store.isOpen(QStringLiteral("v")));
    QCOMPARE(directorySnapshot(dir.path()), before);
}

void TableStoreTest::withoutCurrentTable_operationsDoNothingAndReadEmpty() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("a"), QStringLiteral("b")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));

    store.goToFirstRecord();
    store.skip();
    QCOMPARE(store.recordCount(), 0);
    QCOMPARE(store.currentRecordNumber(), 0);
    QCOMPARE(store.readField(1), QString());
    QVERIFY(!store.writeField(1, QStringLiteral("x")));
    QVERIFY(!store.appendRecord({QStringLiteral("x")}));
    QVERIFY(!store.appendBlankRecord());
    QVERIFY(!store.emptyTable());

    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QCOMPARE(store.recordCount(), 2);
    QCOMPARE(store.currentRecordNumber(), 1);
    QCOMPARE(store.readField(1), QStringLiteral("a"));
}

void TableStoreTest::makeCurrent_switchesTheTableOperationsActOn() {
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("1.db"));
    const QString second = dir.filePath(QStringLiteral("2.db"));
    makeStore(first, {QStringLiteral("one")});
    makeStore(second, {QStringLiteral("two"), QStringLiteral("three")});
    TableStore store;
    QVERIFY(store.openTable(first, QStringLiteral("a")));
    QVERIFY(store.openTable(second, QStringLiteral("b")));

    QVERIFY(store.makeCurrent(QStringLiteral("b")));
    QCOMPARE(store.recordCount(), 2);
    QCOMPARE(store.readField(1), QStringLiteral("two"));
    QVERIFY(store.appendRecord({QStringLiteral("four")}));

    QVERIFY(store.makeCurrent(QStringLiteral("a")));
    QCOMPARE(store.recordCount(), 1);
    QCOMPARE(store.readField(1), QStringLiteral("one"));

    QVERIFY(store.makeCurrent(QStringLiteral("b")));
    QCOMPARE(store.recordCount(), 3);
    QCOMPARE(store.currentRecordNumber(), 3);
    QCOMPARE(store.readField(1), QStringLiteral("four"));
}

void TableStoreTest::makeCurrent_aliasNotOpen_failsAndKeepsCurrentTable() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("a")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QVERIFY(!store.makeCurrent(QStringLiteral("nope")));
    QCOMPARE(store.readField(1), QStringLiteral("a"));
}

void TableStoreTest::closeTable_aliasNotOpen_isHarmless() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("a")});
    TableStore store;
    store.closeTable(QStringLiteral("never"));
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    store.closeTable(QStringLiteral("other"));
    QVERIFY(store.isOpen(QStringLiteral("t")));
    QCOMPARE(store.readField(1), QStringLiteral("a"));
}

void TableStoreTest::closeTable_currentAlias_leavesNoCurrentTable() {
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("1.db"));
    const QString second = dir.filePath(QStringLiteral("2.db"));
    makeStore(first, {QStringLiteral("one")});
    makeStore(second, {QStringLiteral("two")});
    TableStore store;
    QVERIFY(store.openTable(first, QStringLiteral("a")));
    QVERIFY(store.openTable(second, QStringLiteral("b")));
    QVERIFY(store.makeCurrent(QStringLiteral("a")));

    store.closeTable(QStringLiteral("a"));
    QCOMPARE(store.readField(1), QString());
    QVERIFY(!store.appendBlankRecord());
    QCOMPARE(store.readField(1, QStringLiteral("b")), QStringLiteral("two"));

    QVERIFY(store.openTable(first, QStringLiteral("c")));
    QCOMPARE(store.readField(1), QString());
}

void TableStoreTest::openTable_otherAlias_keepsCurrentTable() {
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("1.db"));
    const QString second = dir.filePath(QStringLiteral("2.db"));
    makeStore(first, {QStringLiteral("one")});
    makeStore(second, {QStringLiteral("two")});
    TableStore store;
    QVERIFY(store.openTable(first, QStringLiteral("a")));
    QVERIFY(store.makeCurrent(QStringLiteral("a")));
    QVERIFY(store.openTable(second, QStringLiteral("b")));
    QCOMPARE(store.readField(1), QStringLiteral("one"));
}

void TableStoreTest::openTable_openAlias_replacesItsTableAndStaysCurrent() {
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("1.db"));
    const QString second = dir.filePath(QStringLiteral("2.db"));
    makeStore(first, {QStringLiteral("one")});
    makeStore(second, {QStringLiteral("two"), QStringLiteral("three")});
    TableStore store;
    QVERIFY(store.openTable(first, QStringLiteral("a")));
    QVERIFY(store.makeCurrent(QStringLiteral("a")));

    QVERIFY(store.openTable(second, QStringLiteral("a")));
    QCOMPARE(store.recordCount(), 2);
    QCOMPARE(store.readField(1), QStringLiteral("two"));

    QVERIFY(!store.openTable(dir.filePath(QStringLiteral("missing.db")), QStringLiteral("a")));
    QVERIFY(!store.isOpen(QStringLiteral("a")));
    QCOMPARE(store.readField(1), QString());
}

void TableStoreTest::fieldAccessByAlias_leavesCurrentTableAndRecordAlone() {
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("1.db"));
    const QString second = dir.filePath(QStringLiteral("2.db"));
    makeStore(first, {QStringLiteral("one"), QStringLiteral("uno")});
    makeStore(second, {QStringLiteral("two")});
    TableStore store;
    QVERIFY(store.openTable(first, QStringLiteral("a")));
    QVERIFY(store.openTable(second, QStringLiteral("b")));
    QVERIFY(store.makeCurrent(QStringLiteral("a")));
    store.skip();

    QCOMPARE(store.readField(1, QStringLiteral("b")), QStringLiteral("two"));
    QVERIFY(store.writeField(2, QStringLiteral("b"), QStringLiteral("written by alias")));
    QVERIFY(!store.writeField(1, QStringLiteral("nope"), QStringLiteral("x")));
    QCOMPARE(store.readField(1, QStringLiteral("nope")), QString());

    QCOMPARE(store.currentRecordNumber(), 2);
    QCOMPARE(store.readField(1), QStringLiteral("uno"));
    QCOMPARE(store.readField(2), QString());
    QVERIFY(store.makeCurrent(QStringLiteral("b")));
    QCOMPARE(store.readField(2), QStringLiteral("written by alias"));
}

void TableStoreTest::sameFileUnderTwoAliases_sharesRecordsButNotPosition() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one"), QStringLiteral("two")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("a")));
    QVERIFY(store.openTable(path, QStringLiteral("b")));
    QVERIFY(store.makeCurrent(QStringLiteral("a")));
    QVERIFY(store.appendRecord({QStringLiteral("three")}));

    QCOMPARE(store.currentRecordNumber(), 3);
    QVERIFY(store.makeCurrent(QStringLiteral("b")));
    QCOMPARE(store.recordCount(), 3);
    QCOMPARE(store.currentRecordNumber(), 1);
    QVERIFY(store.makeCurrent(QStringLiteral("a")));
    QCOMPARE(store.readField(1, QStringLiteral("b")), QStringLiteral("one"));
    QVERIFY(store.writeField(2, QStringLiteral("b"), QStringLiteral("seen by a")));
    store.goToFirstRecord();
    QCOMPARE(store.readField(2), QStringLiteral("seen by a"));

    store.closeTable(QStringLiteral("a"));
    QCOMPARE(store.readField(1, QStringLiteral("b")), QStringLiteral("one"));
}

void TableStoreTest::openTable_positionsOnFirstRecord() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one"), QStringLiteral("two")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QCOMPARE(store.currentRecordNumber(), 1);
    QCOMPARE(store.readField(1), QStringLiteral("one"));
}

void TableStoreTest::skip_walksRecordsInOrderAndStopsPastTheLast() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QCOMPARE(store.recordCount(), 3);

    QStringList walked;
    for (int number = 1; number <= 3; ++number) {
        QCOMPARE(store.currentRecordNumber(), number);
        walked << store.readField(1);
        store.skip();
    }
    QCOMPARE(walked,
             (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}));
    QCOMPARE(store.currentRecordNumber(), 4);
    QCOMPARE(store.readField(1), QString());
    store.skip();
    QCOMPARE(store.currentRecordNumber(), 4);
    QCOMPARE(store.recordCount(), 3);
}

void TableStoreTest::goToFirstRecord_returnsToRecordOne() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one"), QStringLiteral("two")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    store.skip();
    store.skip();
    QCOMPARE(store.currentRecordNumber(), 3);
    store.goToFirstRecord();
    QCOMPARE(store.currentRecordNumber(), 1);
    QCOMPARE(store.readField(1), QStringLiteral("one"));
}

void TableStoreTest::writeField_thenReadField_returnsTheText() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one"), QStringLiteral("two")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    store.skip();
    QVERIFY(store.writeField(2, QStringLiteral("second of two")));
    QVERIFY(store.writeField(1, QStringLiteral("replaced")));
    QCOMPARE(store.readField(1), QStringLiteral("replaced"));
    QCOMPARE(store.readField(2), QStringLiteral("second of two"));
    store.goToFirstRecord();
    QCOMPARE(store.readField(1), QStringLiteral("one"));
    QCOMPARE(store.readField(2), QString());
}

void TableStoreTest::fieldPositionOutsideFields_readsEmptyAndWriteFails() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QCOMPARE(store.readField(0), QString());
    QCOMPARE(store.readField(3), QString());
    QCOMPARE(store.readField(-1, QStringLiteral("t")), QString());
    QVERIFY(!store.writeField(0, QStringLiteral("x")));
    QVERIFY(!store.writeField(3, QStringLiteral("x")));
    QCOMPARE(store.readField(1), QStringLiteral("one"));
    QCOMPARE(store.readField(2), QString());
}

void TableStoreTest::writeField_pastTheLastRecord_failsAndAddsNothing() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    store.skip();
    QVERIFY(!store.writeField(1, QStringLiteral("nowhere")));
    QCOMPARE(store.recordCount(), 1);
    QCOMPARE(store.currentRecordNumber(), 2);
    QCOMPARE(RawDatabase(path).column("SELECT f1 FROM records"), QStringList{"one"});
}

void TableStoreTest::blankFields_readEmpty() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    TableStore store;
    QVERIFY(store.createTable(path, textFields(2)));
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QVERIFY(store.appendRecord({QStringLiteral("x"), QStringLiteral("y")}));
    QVERIFY(store.writeField(1, QString()));
    QVERIFY(store.appendBlankRecord());
    store.goToFirstRecord();
    QCOMPARE(store.readField(1), QString());
    QCOMPARE(store.readField(2), QStringLiteral("y"));
    store.skip();
    QCOMPARE(store.readField(1), QString());
    QCOMPARE(store.readField(2), QString());
}

void TableStoreTest::chineseTexts_storedInFullBeyondMaxLength() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    const QString thirty =
        QStringLiteral("一二三四五六七八九十甲乙丙丁戊己庚辛壬癸子丑寅卯辰巳午未申酉");
    QCOMPARE(thirty.size(), 30);
    const QString long_ = QStringLiteral("备注：开关已接通，请勿重复操作。").repeated(40);
    {
        TableStore store;
        QVERIFY(store.createTable(path, textFields(2)));
        QVERIFY(store.openTable(path, QStringLiteral("t")));
        QVERIFY(store.makeCurrent(QStringLiteral("t")));
        QVERIFY(store.appendRecord({thirty}));
        QVERIFY(store.writeField(2, long_));
        QCOMPARE(store.readField(1), thirty);
        QCOMPARE(store.readField(2), long_);
    }
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QCOMPARE(store.readField(1, QStringLiteral("t")), thirty);
    QCOMPARE(store.readField(2, QStringLiteral("t")), long_);
}

void TableStoreTest::appendRecord_fewerTexts_leavesRestBlankAndBecomesCurrent() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QVERIFY(store.appendRecord({QStringLiteral("two")}));
    QCOMPARE(store.recordCount(), 2);
    QCOMPARE(store.currentRecordNumber(), 2);
    QCOMPARE(store.readField(1), QStringLiteral("two"));
    QCOMPARE(store.readField(2), QString());
}

void TableStoreTest::appendRecord_moreTextsThanFields_dropsTheExtra() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    TableStore store;
    QVERIFY(store.createTable(path, textFields(2)));
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QVERIFY(store.appendRecord({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    QCOMPARE(store.recordCount(), 1);
    QCOMPARE(store.readField(1), QStringLiteral("a"));
    QCOMPARE(store.readField(2), QStringLiteral("b"));
    QCOMPARE(store.readField(3), QString());
}

void TableStoreTest::appendBlankRecord_addsAtTheEndAndBecomesCurrent() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one"), QStringLiteral("two")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QVERIFY(store.appendBlankRecord());
    QCOMPARE(store.recordCount(), 3);
    QCOMPARE(store.currentRecordNumber(), 3);
    QCOMPARE(store.readField(1), QString());
    QVERIFY(store.writeField(1, QStringLiteral("three")));
    store.goToFirstRecord();
    store.skip();
    store.skip();
    QCOMPARE(store.readField(1), QStringLiteral("three"));
}

void TableStoreTest::emptyTable_removesAllRecordsAndNumberingRestarts() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    store.skip();
    QVERIFY(store.emptyTable());
    QCOMPARE(store.recordCount(), 0);
    QCOMPARE(store.currentRecordNumber(), 1);
    QCOMPARE(store.readField(1), QString());

    QVERIFY(store.appendRecord({QStringLiteral("fresh")}));
    QCOMPARE(store.currentRecordNumber(), 1);
    store.goToFirstRecord();
    QCOMPARE(store.readField(1), QStringLiteral("fresh"));
    store.closeTable(QStringLiteral("t"));
    QCOMPARE(RawDatabase(path).column("SELECT f1 FROM records"), QStringList{"fresh"});
}

void TableStoreTest::completedWrite_isInTheFileForOtherReadersAtOnce() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QVERIFY(store.writeField(2, QStringLiteral("committed")));
    QVERIFY(store.appendRecord({QStringLiteral("two")}));
    const RawDatabase raw(path);
    QCOMPARE(raw.column("SELECT f2 FROM records WHERE f1 = 'one'"), QStringList{"committed"});
    QCOMPARE(raw.recordCount(), 2);
}

void TableStoreTest::reopenAfterClose_keepsEveryCompletedWrite() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    {
        TableStore store;
        QVERIFY(store.createTable(path, textFields(2)));
        QVERIFY(store.openTable(path, QStringLiteral("t")));
        QVERIFY(store.makeCurrent(QStringLiteral("t")));
        QVERIFY(store.appendRecord({QStringLiteral("one"), QStringLiteral("uno")}));
        QVERIFY(store.appendBlankRecord());
        QVERIFY(store.writeField(2, QStringLiteral("dos")));
        QVERIFY(store.appendRecord({QStringLiteral("three")}));
        store.goToFirstRecord();
        QVERIFY(store.writeField(1, QStringLiteral("first")));
        store.closeTable(QStringLiteral("t"));
    }
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QCOMPARE(store.recordCount(), 3);
    QStringList records;
    for (int i = 0; i < 3; ++i, store.skip())
        records << store.readField(1) + QLatin1Char('|') + store.readField(2);
    QCOMPARE(records, (QStringList{QStringLiteral("first|uno"), QStringLiteral("|dos"),
                                   QStringLiteral("three|")}));
}

void TableStoreTest::killedAfterWrites_reopenFindsEveryWrite() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one")});
    QVERIFY(killedAfter([&](TableStore& store) {
        return store.openTable(path, QStringLiteral("t")) &&
               store.makeCurrent(QStringLiteral("t")) &&
               store.writeField(2, QStringLiteral("before the kill")) &&
               store.appendRecord({QStringLiteral("two"), QStringLiteral("二")});
    }));
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QCOMPARE(store.recordCount(), 2);
    QCOMPARE(store.readField(2), QStringLiteral("before the kill"));
    store.skip();
    QCOMPARE(store.readField(1), QStringLiteral("two"));
    QCOMPARE(store.readField(2), QStringLiteral("二"));
}

void TableStoreTest::killedInsideBatch_fileOpensWithRecordsCommittedBefore() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one")});
    QVERIFY(killedAfter([&](TableStore& store) {
        if (!store.openTable(path, QStringLiteral("t")) ||
            !store.makeCurrent(QStringLiteral("t")) || !store.appendRecord({QStringLiteral("two")}))
            return false;
        // Never ended: the kill comes while it is still open.
        new TableStore::Batch(store);
        for (int i = 0; i < 50; ++i)
            if (!store.appendRecord({QStringLiteral("lost")}))
                return false;
        return true;
    }));
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QCOMPARE(store.recordCount(), 2);
    store.skip();
    QCOMPARE(store.readField(1), QStringLiteral("two"));
    QVERIFY(store.appendRecord({QStringLiteral("three")}));
    QCOMPARE(store.currentRecordNumber(), 3);
}

void TableStoreTest::changesByAnotherConnection_seenFromFirstRecordOn() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one"), QStringLiteral("two")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    {
        const RawDatabase raw(path);
        QVERIFY(raw.execute("DELETE FROM records; INSERT INTO records(f1) VALUES('other')"));
    }
    store.goToFirstRecord();
    QCOMPARE(store.recordCount(), 1);
    QCOMPARE(store.readField(1), QStringLiteral("other"));
    QVERIFY(store.writeField(2, QStringLiteral("ours")));
    QCOMPARE(RawDatabase(path).column("SELECT f1 || f2 FROM records"), QStringList{"otherours"});
}

void TableStoreTest::batch_of339Records_landsComplete() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    TableStore store;
    QVERIFY(store.createTable(path, textFields(3)));
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    {
        TableStore::Batch batch(store);
        QVERIFY(store.appendBlankRecord());
        QVERIFY(store.writeField(1, QStringLiteral("1")));
        for (int i = 0; i < 338; ++i)
            QVERIFY(store.appendBlankRecord());
    }
    QCOMPARE(RawDatabase(path).recordCount(), 339);
    store.closeTable(QStringLiteral("t"));

    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QCOMPARE(store.recordCount(), 339);
    QCOMPARE(store.readField(1), QStringLiteral("1"));
    int blanks = 0;
    for (store.skip(); store.currentRecordNumber() <= 339; store.skip())
        blanks += store.readField(1).isEmpty() ? 1 : 0;
    QCOMPARE(blanks, 338);
}

void TableStoreTest::batch_invisibleToOtherReadersUntilItEnds() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    const RawDatabase raw(path);
    {
        TableStore::Batch batch(store);
        QVERIFY(store.appendRecord({QStringLiteral("two")}));
        QVERIFY(store.writeField(2, QStringLiteral("x")));
        QCOMPARE(store.recordCount(), 2);
        QCOMPARE(raw.recordCount(), 1);
    }
    QCOMPARE(raw.recordCount(), 2);
    QCOMPARE(raw.column("SELECT f2 FROM records WHERE f1 = 'two'"), QStringList{"x"});
}

void TableStoreTest::nestedBatch_commitsWhenOutermostEnds() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    const RawDatabase raw(path);
    {
        TableStore::Batch outer(store);
        QVERIFY(store.appendRecord({QStringLiteral("outer")}));
        {
            TableStore::Batch inner(store);
            QVERIFY(store.appendRecord({QStringLiteral("inner")}));
        }
        QCOMPARE(raw.recordCount(), 0);
    }
    QCOMPARE(raw.recordCount(), 2);
}

void TableStoreTest::batch_takesWritesThroughAnotherAliasOfTheSameFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("a")));
    QVERIFY(store.openTable(path, QStringLiteral("b")));
    QVERIFY(store.makeCurrent(QStringLiteral("a")));
    const RawDatabase raw(path);
    {
        TableStore::Batch batch(store);
        QVERIFY(store.appendBlankRecord());
        QVERIFY(store.writeField(2, QStringLiteral("b"), QStringLiteral("through b")));
        QCOMPARE(raw.recordCount(), 1);
    }
    QCOMPARE(raw.column("SELECT f2 FROM records ORDER BY rowid"),
             (QStringList{QStringLiteral("through b"), QString()}));
}

void TableStoreTest::batch_outlivingItsClosedTable_stillCommits() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {});
    {
        TableStore store;
        QVERIFY(store.openTable(path, QStringLiteral("t")));
        QVERIFY(store.makeCurrent(QStringLiteral("t")));
        TableStore::Batch batch(store);
        QVERIFY(store.appendRecord({QStringLiteral("kept")}));
        store.closeTable(QStringLiteral("t"));
    }
    QCOMPARE(RawDatabase(path).column("SELECT f1 FROM records"), QStringList{"kept"});
}

void TableStoreTest::batch_withoutCurrentTable_isHarmless() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.db"));
    makeStore(path, {QStringLiteral("one")});
    TableStore store;
    QVERIFY(store.openTable(path, QStringLiteral("t")));
    {
        TableStore::Batch batch(store);
        QVERIFY(!store.appendBlankRecord());
    }
    QVERIFY(store.makeCurrent(QStringLiteral("t")));
    QVERIFY(store.appendBlankRecord());
    QCOMPARE(RawDatabase(path).recordCount(), 2);
}

QTEST_GUILESS_MAIN(TableStoreTest)
#include "test_table_store.moc"
