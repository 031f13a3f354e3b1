#pragma once

#include <QList>
#include <QString>

struct Context;
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

private:
    bool markFavourite(TableStore& store, const QString& line);
    void showFound();
    void showNotFound();

    Context& context_;
};
