#include "ui/tab_control.h"

#include <QTabBar>

TabControl::TabControl(const QString& name, const QStringList& pageTitles, QWidget* parent)
    : QWidget(parent), tabs_(new QTabBar(this)) {
    setObjectName(name);
    for (const QString& title : pageTitles) {
        tabs_->addTab(title);
        auto* page = new QWidget(this);
        page->setObjectName(title);
        page->hide();
        pages_.push_back(page);
    }
    // The tabs sit above the pages, which cover the whole control.
    tabs_->raise();
    connect(tabs_, &QTabBar::currentChanged, this, &TabControl::showPage);
    showPage(tabs_->currentIndex());
}

QString TabControl::pageTitle(int index) const {
    return tabs_->tabText(index);
}
void TabControl::setPageTitle(int index, const QString& title) {
    tabs_->setTabText(index, title);
}
bool TabControl::isPageEnabled(int index) const {
    return tabs_->isTabEnabled(index);
}
void TabControl::setPageEnabled(int index, bool enabled) {
    tabs_->setTabEnabled(index, enabled);
}
int TabControl::currentPage() const {
    return tabs_->currentIndex();
}
void TabControl::setCurrentPage(int index) {
    tabs_->setCurrentIndex(index);
}

void TabControl::resizeEvent(QResizeEvent*) {
    tabs_->setGeometry(0, 0, width(), tabs_->sizeHint().height());
    for (QWidget* page : pages_)
        page->setGeometry(rect());
}

void TabControl::showPage(int index) {
    for (int i = 0; i < pageCount(); ++i)
        pages_[size_t(i)]->setVisible(i == index);
}
