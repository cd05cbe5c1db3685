// The window's two compound controls: the port selector and the file field with its label.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>

// The names always in the port list, whether present or not (COM1 to COM9 on Windows).
QStringList fixedPortNames();

// An editable port list that is filled anew each time it drops down; typed text is kept.
class PortComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit PortComboBox(QWidget* parent = nullptr);

    void showPopup() override;
    // The fixed names (COM1..COM9 on Windows) and the ports present now.
    void refreshPorts();
};

// An edit with a label above it that is greyed together with it.
class LabeledEdit : public QLineEdit {
    Q_OBJECT

public:
    // The label is a sibling, so it can stand outside the edit's own rectangle.
    LabeledEdit(const QString& labelText, QWidget* parent);

    QLabel* label() const { return m_label; }

protected:
    void changeEvent(QEvent* event) override;

private:
    QLabel* m_label;
};
