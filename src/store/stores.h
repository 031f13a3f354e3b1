#pragma once

#include "store/table_store.h"

#include <QString>

class QComboBox;

// The two tables the program keeps between runs, both in its own directory.
namespace stores {

// One record per device tile: field 1 its remark, field 2 its favourite entry, field 3 its
// switch state.
inline const QString RemarkFile = QStringLiteral("/备注数据库.edb");
inline const QString RemarkAlias = QStringLiteral("备注的");
constexpr int RemarkField = 1;
constexpr int FavouriteField = 2;
// The device number of the board that last confirmed the tile's slot switched on, with "?" in
// front while a switch awaits its echo; empty once it confirmed it off. Written under an alias
// of its own, so that it never moves the place of a walk of the remark alias.
constexpr int SwitchStateField = 3;
inline const QString SwitchStateAlias = QStringLiteral("开关状态");
constexpr int RemarkFieldCount = 3;
// A fresh remark store: record 1 holds "1" in its remark field, which marks the store as
// initialised, then 338 blank records. Walks cover records 1 ... 338.
constexpr int InitialRemarkRecords = 339;
constexpr int WalkedRemarkRecords = 338;

// The binding record: field k holds the device number bound to hub link k.
inline const QString BindingFile = QStringLiteral("/端口数据库.edb");
inline const QString BindingAlias = QStringLiteral("端口绑定");

// Names and types the created handler gives the field definitions of the two stores.
void defineRemarkFields(QList<FieldDefinition>& fields);
void defineBindingFields(QList<FieldDefinition>& fields);

// The columns that make a file each store, by name in order, as those definitions create them:
// a file with other columns, say the other store, is not used as that store.
QStringList remarkColumns();
QStringList bindingColumns();

// Appends the 339 records of a fresh remark store to the current table, in one transaction.
// False when a write was refused; answer says whether they landed.
bool initialiseRemarks(TableStore& store, TableStore::Answer answer = {});

// Appends the non-empty favourite entries of records 1 ... 338 of the current table to list
// and selects its first item.
void fillFavourites(TableStore& store, QComboBox& list);

} // namespace stores
