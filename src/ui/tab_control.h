#pragma once

#include <QWidget>

#include <vector>

class QTabBar;

// The tile area (高级选择夹1): a row of tabs over equally sized pages. Children of a page are
// placed relative to the whole control, the tab row included, as in the window design. A page
// that is not available shows nothing that works: its tab and its controls are disabled, and
// no way of choosing a page (a click, the keyboard, a tool, a handler) makes it current.
class TabControl : public QWidget {
    Q_OBJECT
public:
    TabControl(const QString& name, const QStringList& pageTitles, QWidget* parent);

    int pageCount() const { return int(pages_.size()); }
    QWidget* page(int index) const { return pages_[size_t(index)]; }
    // -1 when object is not one of the pages.
    int indexOfPage(const QObject* object) const;
    QString pageTitle(int index) const;
    void setPageTitle(int index, const QString& title);
    bool isPageEnabled(int index) const;
    void setPageEnabled(int index, bool enabled);
    // The page's link lost its board: its tab carries a warning mark until it is found again.
    bool isPageLost(int index) const { return lost_[size_t(index)]; }
    void setPageLost(int index, bool lost);
    int currentPage() const;
    // Where page index's tab is drawn, in this control's coordinates.
    QRect tabRect(int index) const;
    QString tabToolTip(int index) const;
    // An unavailable page is never current: false, and nothing changes, for one.
    bool setCurrentPage(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showPage(int index);
    // Leaves an unavailable current page for the first available one, if any.
    void keepCurrentAvailable();

    QTabBar* tabs_;
    std::vector<QWidget*> pages_;
    std::vector<bool> lost_;
};
