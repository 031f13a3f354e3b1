#include "ui/tab_control.h"

#include "ui/accessibility.h"
#include "ui/marks.h"

#include <QTabBar>

#include <algorithm>

TabControl::TabControl(const QString& name, const QStringList& pageTitles, QWidget* parent)
    : QWidget(parent), tabs_(new QTabBar(this)) {
    setObjectName(name);
    // All eight tabs stay in view at the designed width: a slightly smaller type fits a title
    // with its device number, and a longer one loses its middle, keeping the link and the
    // number. The full title is in the tab's tooltip and the page's accessible name.
    tabs_->setUsesScrollButtons(false);
    tabs_->setElideMode(Qt::ElideMiddle);
    QFont compact = tabs_->font();
    if (compact.pointSizeF() > 0)
        compact.setPointSizeF(compact.pointSizeF() * 0.9);
    else
        compact.setPixelSize(compact.pixelSize() * 9 / 10);
    tabs_->setFont(compact);
    tabs_->setExpanding(false);
    for (const QString& title : pageTitles) {
        tabs_->setTabToolTip(tabs_->addTab(title), title);
        auto* page = new QWidget(this);
        page->setObjectName(title);
        page->hide();
        pages_.push_back(page);
    }
    lost_.resize(pages_.size());
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
    tabs_->setTabToolTip(index, title);
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
void TabControl::setPageLost(int index, bool lost) {
    if (lost_[size_t(index)] == lost)
        return;
    lost_[size_t(index)] = lost;
    tabs_->setTabIcon(index, lost ? marks::icon(Mark::Lost) : QIcon());
    accessibility::notifyDescriptionChanged(page(index));
}
int TabControl::currentPage() const {
    return tabs_->currentIndex();
}
QRect TabControl::tabRect(int index) const {
    return tabs_->tabRect(index).translated(tabs_->pos());
}
QString TabControl::tabToolTip(int index) const {
    return tabs_->tabToolTip(index);
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
