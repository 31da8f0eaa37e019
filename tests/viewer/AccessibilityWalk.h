// What a screen reader and a keyboard make of a widget tree: every control
// the operator uses must have a name that says what it is (not its value),
// be reachable with Tab, and every value label beside a control must say
// whose value it shows.
#pragma once

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabBar>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace qdx::viewer::test {

// The text of the label a screen reader announces for w (Qt relates a label
// to the control it is the buddy of); empty when no label is.
inline QString labelName(QAccessibleInterface* control)
{
    for (const auto& [other, relation] : control->relations(QAccessible::Label))
        if (qobject_cast<const QLabel*>(other->object()))
            return other->text(QAccessible::Name);
    return {};
}

// The name an assistive technology gives w. Qt on Linux names a combo box by
// its current entry and leaves the caption to the label relation, so a Name
// that only repeats the value is no name.
inline QString spokenName(QWidget* w)
{
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    if (!a)
        return {};
    const QString name = a->text(QAccessible::Name).trimmed();
    if (!name.isEmpty() && name != a->text(QAccessible::Value).trimmed())
        return name;
    const QString label = labelName(a).trimmed();
    return label.isEmpty() ? w->accessibleName().trimmed() : label;
}

// A name tells what the control is: it has a letter and is not a number.
inline bool meaningful(const QString& name)
{
    bool number = false;
    name.toDouble(&number);
    return !number && std::any_of(name.begin(), name.end(), [](QChar c) { return c.isLetter(); });
}

// The controls an operator works with, leaving out the parts Qt builds into
// composite widgets (scroll bars, a spin box's editor, a tab bar's arrows, a
// dock's title buttons and the menu bar's overflow button, whose names Qt
// starts with "qt_"), which Qt names and reaches in its own way.
inline bool isOperatorControl(const QWidget* w)
{
    if (qobject_cast<const QScrollBar*>(w) || w->objectName().startsWith(QLatin1String("qt_")))
        return false;
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<const QTabBar*>(p) || qobject_cast<const QAbstractSpinBox*>(p) ||
            qobject_cast<const QComboBox*>(p))
            return false;
    return qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QPlainTextEdit*>(w);
}

inline std::string describe(const QWidget* w)
{
    return std::string(w->metaObject()->className()) + " " + std::to_string(w->property("controlId").toInt()) +
           (w->objectName().isEmpty() ? std::string() : " " + w->objectName().toStdString());
}

// The labels in control's grid row other than its caption: the value labels.
inline std::vector<QLabel*> valueLabels(QWidget* control)
{
    std::vector<QLabel*> labels;
    const QWidget* parent = control->parentWidget();
    auto* grid = parent ? qobject_cast<QGridLayout*>(parent->layout()) : nullptr;
    const int index = grid ? grid->indexOf(control) : -1;
    if (index < 0)
        return labels;
    int row = 0, column = 0, rows = 0, columns = 0;
    grid->getItemPosition(index, &row, &column, &rows, &columns);
    for (int c = 0; c < grid->columnCount(); ++c) {
        const QLayoutItem* item = grid->itemAtPosition(row, c);
        auto* label = item ? qobject_cast<QLabel*>(item->widget()) : nullptr;
        if (label && label->buddy() != control)
            labels.push_back(label);
    }
    return labels;
}

// Every fault of root's controls, one line each: no meaningful name, a name
// a sibling has too (Qt falls back on the group box's title for every control
// in it), out of the Tab chain, or a value label that does not say whose
// value it shows.
// Empty when the tree is fit for a screen reader and the keyboard.
inline std::vector<std::string> accessibilityFaults(QWidget* root)
{
    std::vector<std::string> faults;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    std::map<std::pair<const QWidget*, QString>, int> named;  // (parent, name) -> controls
    for (QWidget* w : widgets)
        if (isOperatorControl(w))
            ++named[{w->parentWidget(), spokenName(w)}];
    for (QWidget* w : widgets) {
        if (!isOperatorControl(w))
            continue;
        const QString name = spokenName(w);
        if (!meaningful(name))
            faults.push_back(describe(w) + ": no name (\"" + name.toStdString() + "\")");
        else if (named[{w->parentWidget(), name}] > 1)
            faults.push_back(describe(w) + ": named \"" + name.toStdString() + "\" as a sibling is");
        if ((w->focusPolicy() & Qt::TabFocus) != Qt::TabFocus)
            faults.push_back(describe(w) + ": not reachable with Tab");
        if (!qobject_cast<QAbstractSlider*>(w))
            continue;
        for (QLabel* label : valueLabels(w)) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(label);
            const QString said = a->text(QAccessible::Name) + QLatin1Char(' ') + a->text(QAccessible::Description);
            if (name.isEmpty() || !said.contains(name))
                faults.push_back(describe(label) + ": value label of \"" + name.toStdString() +
                                 "\" does not say so (\"" + said.trimmed().toStdString() + "\")");
        }
    }
    return faults;
}

}  // namespace qdx::viewer::test
