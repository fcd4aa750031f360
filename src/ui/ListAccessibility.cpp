#include "ui/ListAccessibility.h"

#include "ui/ColumnListBox.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <vector>

namespace {

// A widget whose items have no object of their own. Item interfaces are made
// on demand, registered with the accessibility framework so assistive tools
// can hold on to them, and freed with the widget's interface.
class TAccessibleItemOwner : public QAccessibleWidget {
public:
    TAccessibleItemOwner(QWidget* widget, QAccessible::Role role)
        : QAccessibleWidget(widget, role) {}
    ~TAccessibleItemOwner() override {
        for (const QAccessible::Id id : items_)
            QAccessible::deleteAccessibleInterface(id);
    }

    virtual int ItemCount() const = 0;
    virtual QAccessible::Role ItemRole() const = 0;
    virtual QString ItemName(int index) const = 0;
    // In the widget's coordinates.
    virtual QRect ItemRect(int index) const = 0;
    virtual QAccessible::State ItemState(int index) const = 0;

    int childCount() const override { return ItemCount(); }
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint at = widget()->mapFromGlobal(QPoint(x, y));
        for (int i = 0; i < ItemCount(); ++i)
            if (ItemRect(i).contains(at))
                return child(i);
        return nullptr;
    }

private:
    mutable std::vector<QAccessible::Id> items_;
};

// One row or section: it answers from its owner, by its index.
class TAccessibleItem : public QAccessibleInterface {
public:
    TAccessibleItem(QWidget* owner, int index) : owner_(owner), index_(index) {}

    bool isValid() const override { return Owner() != nullptr && index_ < Owner()->ItemCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return owner_->window()->windowHandle(); }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(owner_);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name && isValid() ? Owner()->ItemName(index_) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect local = Owner()->ItemRect(index_);
        return {owner_->mapToGlobal(local.topLeft()), local.size()};
    }
    QAccessible::Role role() const override {
        return isValid() ? Owner()->ItemRole() : QAccessible::NoRole;
    }
    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        return Owner()->ItemState(index_);
    }
    int Index() const { return index_; }

private:
    TAccessibleItemOwner* Owner() const {
        return owner_ ? dynamic_cast<TAccessibleItemOwner*>(
                            QAccessible::queryAccessibleInterface(owner_.data()))
                      : nullptr;
    }

    QPointer<QWidget> owner_;
    int index_;
};

QAccessibleInterface* TAccessibleItemOwner::child(int index) const {
    if (index < 0 || index >= ItemCount())
        return nullptr;
    if (items_.size() <= static_cast<size_t>(index))
        items_.resize(static_cast<size_t>(index) + 1, 0);
    QAccessible::Id& id = items_[static_cast<size_t>(index)];
    if (id == 0)
        id = QAccessible::registerAccessibleInterface(new TAccessibleItem(widget(), index));
    return QAccessible::accessibleInterface(id);
}

int TAccessibleItemOwner::indexOfChild(const QAccessibleInterface* child) const {
    const auto* item = dynamic_cast<const TAccessibleItem*>(child);
    return item != nullptr && item->parent() == this && item->isValid() ? item->Index() : -1;
}

// The rows of the list box, named by the list box.
class TAccessibleRowList : public TAccessibleItemOwner {
public:
    TAccessibleRowList(TColumnRowList* rows, TColumnListBox* box)
        : TAccessibleItemOwner(rows, QAccessible::List), box_(box) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return box_->accessibleName();
        return TAccessibleItemOwner::text(t);
    }
    // The row a tool reads out when the list takes the focus.
    QAccessibleInterface* focusChild() const override {
        return Rows().hasFocus() ? child(Rows().CaretIndex()) : nullptr;
    }
    int ItemCount() const override { return Rows().Count(); }
    QAccessible::Role ItemRole() const override { return QAccessible::ListItem; }
    QString ItemName(int index) const override { return box_->RowName(index); }
    QRect ItemRect(int index) const override {
        const TColumnRowList& rows = Rows();
        const TRect r = rows.ItemRect(index);
        const QPoint at = rows.viewport()->mapTo(&rows, QPoint(0, r.Top));
        return {at.x(), at.y(), rows.viewport()->width(), r.Height()};
    }
    QAccessible::State ItemState(int index) const override {
        const TColumnRowList& rows = Rows();
        QAccessible::State state;
        state.selectable = true;
        state.focusable = true;
        state.selected = index == rows.ItemIndex();
        state.focused = rows.hasFocus() && index == rows.CaretIndex();
        state.disabled = !rows.isEnabled();
        const QRect shown = ItemRect(index) & rows.viewport()->geometry();
        state.invisible = shown.isEmpty();
        state.offscreen = shown.isEmpty();
        return state;
    }

private:
    const TColumnRowList& Rows() const { return *static_cast<TColumnRowList*>(widget()); }

    QPointer<TColumnListBox> box_;
};

// The header bar: a column header per section.
class TAccessibleHeader : public TAccessibleItemOwner {
public:
    explicit TAccessibleHeader(TColumnHeader* header)
        : TAccessibleItemOwner(header, QAccessible::Pane) {}

    int ItemCount() const override { return static_cast<int>(Header().Sections().size()); }
    QAccessible::Role ItemRole() const override { return QAccessible::ColumnHeader; }
    QString ItemName(int index) const override {
        return Header().Sections()[static_cast<size_t>(index)].Text;
    }
    QRect ItemRect(int index) const override {
        const TColumnHeader& header = Header();
        return {header.sectionViewportPosition(index), 0, header.sectionSize(index),
                header.height()};
    }
    QAccessible::State ItemState(int index) const override {
        QAccessible::State state;
        state.invisible = Header().sectionSize(index) == 0;
        state.disabled = !Header().isEnabled();
        return state;
    }

private:
    const TColumnHeader& Header() const { return *static_cast<TColumnHeader*>(widget()); }
};

} // namespace

QAccessibleInterface* ListAccessibleInterface(QObject* object) {
    if (auto* rows = qobject_cast<TColumnRowList*>(object))
        if (auto* box = qobject_cast<TColumnListBox*>(rows->parentWidget()))
            return new TAccessibleRowList(rows, box);
    if (auto* header = qobject_cast<TColumnHeader*>(object))
        return new TAccessibleHeader(header);
    return nullptr;
}
