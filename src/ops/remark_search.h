#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct Context;
class StoreSession;
class TableStore;

// Finds tiles by a piece of their remark (编辑框9, 超级按钮338): each hit becomes a result
// line in 组合框2 and a favourite entry of its record, listed in 组合框3.
class RemarkSearch {
public:
    explicit RemarkSearch(Context& context) : context_(context) {}

    void onSearchClicked();
    // Enter in 编辑框9 searches and hands the focus to the result list.
    void onSearchKeyDown(int keyCode);

    // The record numbers of the current table whose field holds text, once per place where
    // it starts; places are whole characters, never the second byte of a double-byte one.
    static QList<int> scan(TableStore& store, const QString& text, int field);
    // The result lines the search lists for text ("N:remark"), in their order, from an open
    // remark session; atEach runs with the store on each listed record.
    static QStringList resultLines(const StoreSession& remarks, const QString& text,
                                   const std::function<void(const QString&)>& atEach = {});

private:
    void markFavourite(TableStore& store, const QString& line);
    void showFound();
    void showNotFound();

    Context& context_;
};
