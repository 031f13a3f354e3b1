#include "store/stores.h"

#include "hub/dimensions.h"

#include <QComboBox>

namespace stores {

void defineRemarkFields(QList<FieldDefinition>& fields) {
    fields[0].name = QStringLiteral("备注的");
    fields[0].type = FieldDefinition::TextType;
    fields[1].name = QStringLiteral("常用的");
    fields[1].type = FieldDefinition::TextType;
}

void defineBindingFields(QList<FieldDefinition>& fields) {
    for (int k = 1; k <= LinkCount; ++k) {
        fields[k - 1].name = QStringLiteral("端口") + QString::number(k);
        fields[k - 1].type = FieldDefinition::TextType;
    }
}

QStringList remarkColumns() {
    QList<FieldDefinition> fields(RemarkFieldCount);
    defineRemarkFields(fields);
    return TableStore::columnNames(fields);
}

QStringList bindingColumns() {
    QList<FieldDefinition> fields(LinkCount);
    defineBindingFields(fields);
    return TableStore::columnNames(fields);
}

bool initialiseRemarks(TableStore& store, TableStore::Answer answer) {
    TableStore::Batch batch(store);
    bool written = store.appendBlankRecord() && store.writeField(RemarkField, QStringLiteral("1"));
    for (int i = 1; i < InitialRemarkRecords && written; ++i)
        written = store.appendBlankRecord();
    batch.commit(std::move(answer));
    return written;
}

void fillFavourites(TableStore& store, QComboBox& list) {
    store.goToFirstRecord();
    for (int i = 0; i < WalkedRemarkRecords; ++i) {
        const QString favourite = store.readField(FavouriteField);
        if (!favourite.isEmpty())
            list.addItem(favourite);
        store.skip();
    }
    list.setCurrentIndex(0);
}

} // namespace stores
