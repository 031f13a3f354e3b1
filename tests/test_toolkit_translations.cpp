// Message boxes in the window's language: the toolkit's own buttons read 是, 否 and 确定.
#include "app/toolkit_translations.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>

class ToolkitTranslationsTest : public QObject {
    Q_OBJECT
private slots:
    void messageBoxButtons_readChinese() {
        QMessageBox english;
        english.setStandardButtons(QMessageBox::Yes);
        QVERIFY(english.button(QMessageBox::Yes)->text().contains(QStringLiteral("Yes")));

        QVERIFY(loadToolkitTranslations());
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok);
        QVERIFY2(box.button(QMessageBox::Yes)->text().startsWith(QStringLiteral("是")),
                 qPrintable(box.button(QMessageBox::Yes)->text()));
        QVERIFY2(box.button(QMessageBox::No)->text().startsWith(QStringLiteral("否")),
                 qPrintable(box.button(QMessageBox::No)->text()));
        QVERIFY2(box.button(QMessageBox::Ok)->text().startsWith(QStringLiteral("确定")),
                 qPrintable(box.button(QMessageBox::Ok)->text()));
    }
};

QTEST_MAIN(ToolkitTranslationsTest)
#include "test_toolkit_translations.moc"
