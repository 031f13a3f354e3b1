#include "ui/accessibility.h"

#include "hub/dimensions.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"
#include "ui/tile_numbering.h"

#include <QAccessibleWidget>

namespace {
using accessibility::tileLabel;

int tileOfButton(const StyledButton& button) {
    const int tile = tiles::numberFromName(button.objectName(), tiles::ButtonPrefix);
    return tile >= 1 && tile <= TileCount ? tile : 0;
}

// What a lamp belongs to, from its number: 外形框1 the connection, 外形框2 ... 外形框9 the hub
// links, 外形框10 the search, the others the tiles.
QString lampOwner(const Lamp& lamp) {
    const int number = tiles::numberFromName(lamp.objectName(), tiles::LampPrefix);
    if (number == 1)
        return QStringLiteral("连接");
    if (number >= 2 && number <= LinkCount + 1)
        return QStringLiteral("端口") + QString::number(number - 1);
    if (number == LinkCount + 2)
        return QStringLiteral("搜索");
    return tileLabel(number - tiles::LampOffset);
}

QString joined(const QString& text, const QString& more) {
    return more.isEmpty() ? text : text + u' ' + more;
}

QString confirmationName(StyledButton::Confirmation confirmation) {
    switch (confirmation) {
    case StyledButton::Confirmation::Awaited:
        return QStringLiteral(" 等待确认");
    case StyledButton::Confirmation::Missing:
        return QStringLiteral(" 未确认");
    case StyledButton::Confirmation::Confirmed:
        break;
    }
    return {};
}

// A tile button reads "设备12 已关闭": its tile and its caption, which is the slot's state, and
// " 等待确认" or " 未确认" while its board has not confirmed the last switch.
class StyledButtonInterface : public QAccessibleWidget {
public:
    explicit StyledButtonInterface(StyledButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name) {
            const int tile = tileOfButton(*button());
            return tile ? tileLabel(tile) + u' ' + button()->text() +
                              confirmationName(button()->confirmation())
                        : button()->text();
        }
        if (kind == QAccessible::Description)
            return button()->objectName();
        return QAccessibleWidget::text(kind);
    }

    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    // A press from a tool is a click, and like a click it does nothing on a disabled button.
    void doAction(const QString& action) override {
        if (action == pressAction())
            button()->click();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    StyledButton* button() const { return static_cast<StyledButton*>(widget()); }
};

// A lamp reads "端口1 指示灯 红色", then what its label says ("设备号258"). Its mark follows
// its design name in the description ("外形框22 未确认"), so that a tool that looks for the design
// name finds it at the start of every lamp's description.
class LampInterface : public QAccessibleWidget {
public:
    explicit LampInterface(Lamp* lamp) : QAccessibleWidget(lamp, QAccessible::Graphic) {}

    QString text(QAccessible::Text kind) const override {
        const auto* lamp = static_cast<const Lamp*>(widget());
        if (kind == QAccessible::Name)
            return joined(lampOwner(*lamp) + QStringLiteral(" 指示灯 ") +
                              accessibility::colourName(lamp->colour()),
                          lamp->spokenLabel());
        if (kind == QAccessible::Description)
            return joined(lamp->objectName(), accessibility::markNote(lamp->mark()));
        return QAccessibleWidget::text(kind);
    }
};

// The tile area reads as a list of page tabs, each page a tab that holds its tiles. The pages
// stand in for the tab row: a page that is not available reads as disabled, which the tab row
// of the toolkit does not tell, so the row itself stays out of the tree.
class TabControlInterface : public QAccessibleWidget {
public:
    explicit TabControlInterface(TabControl* control)
        : QAccessibleWidget(control, QAccessible::PageTabList) {}

    int childCount() const override { return control()->pageCount(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= control()->pageCount())
            return nullptr;
        return QAccessible::queryAccessibleInterface(control()->page(index));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child ? control()->indexOfPage(child->object()) : -1;
    }
    // The pages lie on top of one another; only the one shown can be pointed at.
    QAccessibleInterface* childAt(int x, int y) const override {
        QAccessibleInterface* shown = child(control()->currentPage());
        return shown && shown->rect().contains(x, y) ? shown : nullptr;
    }

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Description)
            return control()->objectName();
        return QAccessibleWidget::text(kind);
    }

private:
    TabControl* control() const { return static_cast<TabControl*>(widget()); }
};

class TabPageInterface : public QAccessibleWidget {
public:
    TabPageInterface(QWidget* page, TabControl* control)
        : QAccessibleWidget(page, QAccessible::PageTab), control_(control) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name)
            return control_->pageTitle(index());
        if (kind == QAccessible::Description)
            return joined(widget()->objectName(),
                          control_->isPageLost(index()) ? accessibility::LostPageNote : QString());
        return QAccessibleWidget::text(kind);
    }

    // Every tab of a shown tile area can be seen, the current one's page or not.
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = !control_->isVisible();
        state.disabled = !control_->isEnabled() || !control_->isPageEnabled(index());
        state.selectable = true;
        state.selected = control_->currentPage() == index();
        return state;
    }

    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    // Like a click on its tab: an unavailable page cannot be chosen.
    void doAction(const QString& action) override {
        if (action != pressAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        if (control_->isEnabled() && control_->isPageEnabled(index()))
            control_->setCurrentPage(index());
    }

private:
    int index() const { return control_->indexOfPage(widget()); }

    TabControl* control_;
};

QAccessibleInterface* createInterface(const QString& className, QObject* object) {
    if (auto* button = qobject_cast<StyledButton*>(object))
        return new StyledButtonInterface(button);
    if (auto* lamp = qobject_cast<Lamp*>(object))
        return new LampInterface(lamp);
    if (auto* control = qobject_cast<TabControl*>(object))
        return new TabControlInterface(control);
    // A page is a plain widget; every widget of a kind without an interface of its own is asked
    // for as one once its own classes have been tried.
    if (className == QLatin1String("QWidget"))
        if (auto* control = qobject_cast<TabControl*>(object->parent()))
            if (control->indexOfPage(object) >= 0)
                return new TabPageInterface(static_cast<QWidget*>(object), control);
    return nullptr;
}
} // namespace

namespace accessibility {

void install() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(createInterface);
}

QString tileLabel(int tile) {
    return QStringLiteral("设备") + QString::number(tile);
}

QString colourName(std::optional<quint32> colour) {
    if (!colour)
        return QStringLiteral("无颜色");
    switch (*colour) {
    case colour::Red:
        return QStringLiteral("红色");
    case colour::Green:
        return QStringLiteral("绿色");
    case colour::DarkGreen:
        return QStringLiteral("深绿色");
    case colour::Blue:
        return QStringLiteral("蓝色");
    case colour::Yellow:
        return QStringLiteral("黄色");
    case colour::White:
        return QStringLiteral("白色");
    case colour::Black:
        return QStringLiteral("黑色");
    default:
        return QStringLiteral("颜色") + colour::toQColor(*colour).name(QColor::HexRgb).toUpper();
    }
}

QString markNote(Mark mark) {
    switch (mark) {
    case Mark::Unconfirmed:
        return QStringLiteral("未确认");
    case Mark::Lost:
        return QStringLiteral("连接已断开");
    case Mark::None:
        break;
    }
    return {};
}

// The toolkit makes the object's interface to send an event even when no tool listens; the
// lamps and pages would all get one during the first connect run for nothing.
void notifyNameChanged(QObject* object) {
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(object, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void notifyDescriptionChanged(QObject* object) {
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(object, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}

void notifyStateChanged(QObject* object, QAccessible::State changed) {
    if (!QAccessible::isActive())
        return;
    QAccessibleStateChangeEvent event(object, changed);
    QAccessible::updateAccessibility(&event);
}

} // namespace accessibility
