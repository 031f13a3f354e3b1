#include "ui/tab_control.h"

#include "ui/accessibility.h"

#include <QTabBar>

#include <algorithm>

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

int TabControl::indexOfPage(const QObject* object) const {
    const auto found = std::find(pages_.begin(), pages_.end(), object);
    return found == pages_.end() ? -1 : int(found - pages_.begin());
}

QString TabControl::pageTitle(int index) const {
    return tabs_->tabText(index);
}
void TabControl::setPageTitle(int index, const QString& title) {
    tabs_->setTabText(index, title);
    accessibility::notifyNameChanged(page(index));
}
bool TabControl::isPageEnabled(int index) const {
    return tabs_->isTabEnabled(index);
}
void TabControl::setPageEnabled(int index, bool enabled) {
    tabs_->setTabEnabled(index, enabled);
    page(index)->setEnabled(enabled);
    keepCurrentAvailable();
    QAccessible::State changed;
    changed.disabled = true;
    accessibility::notifyStateChanged(page(index), changed);
}
int TabControl::currentPage() const {
    return tabs_->currentIndex();
}
bool TabControl::setCurrentPage(int index) {
    if (index < 0 || index >= pageCount() || !isPageEnabled(index))
        return false;
    tabs_->setCurrentIndex(index);
    return true;
}

void TabControl::keepCurrentAvailable() {
    if (!isPageEnabled(currentPage()))
        showPage(currentPage());
}

void TabControl::resizeEvent(QResizeEvent*) {
    tabs_->setGeometry(0, 0, width(), tabs_->sizeHint().height());
    for (QWidget* page : pages_)
        page->setGeometry(rect());
}

void TabControl::showPage(int index) {
    // The tab bar itself lets a program or a tool select a disabled tab; with another page
    // available, that one is made current instead (and shown through this same slot).
    if (index >= 0 && !isPageEnabled(index)) {
        for (int i = 0; i < pageCount(); ++i) {
            if (isPageEnabled(i)) {
                tabs_->setCurrentIndex(i);
                return;
            }
        }
    }
    QAccessible::State changed;
    changed.selected = true;
    for (int i = 0; i < pageCount(); ++i) {
        const bool shown = i == index;
        if (pages_[size_t(i)]->isVisibleTo(this) == shown)
            continue;
        pages_[size_t(i)]->setVisible(shown);
        accessibility::notifyStateChanged(pages_[size_t(i)], changed);
    }
}
