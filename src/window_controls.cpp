// The port selector's list and the file field's label.
#include "window_controls.h"

#include <QEvent>
#include <QSerialPortInfo>
#include <QStringList>

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);  // typed names are used, not collected
    refreshPorts();
}

void PortComboBox::showPopup() {
    refreshPorts();
    QComboBox::showPopup();
}

void PortComboBox::refreshPorts() {
    const QString typed = currentText();
    clear();
    addItems(fixedPortNames());
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        int index = findText(info.portName(), Qt::MatchFixedString);
        if (index < 0) {
            addItem(info.portName());
            index = count() - 1;
        }
        if (!info.description().isEmpty()) {
            setItemData(index, info.description(), Qt::ToolTipRole);
        }
    }
    setEditText(typed);
}

LabeledEdit::LabeledEdit(const QString& labelText, QWidget* parent)
    : QLineEdit(parent), m_label(new QLabel(labelText, parent)) {
    m_label->setBuddy(this);
}

void LabeledEdit::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        m_label->setEnabled(isEnabled());
    }
    QLineEdit::changeEvent(event);
}
