#pragma once
// Dialog controls are found by name (tests, and handlers named after them),
// so each one is made with its name and caption in one step.

#include <QLatin1String>
#include <QString>
#include <QWidget>

class QDialog;
class QHBoxLayout;
class QPushButton;

template <typename Control>
Control* NamedControl(QWidget* parent, const char* name, const char* caption = nullptr)
{
    auto* control = new Control(parent);
    control->setObjectName(QLatin1String(name));
    if (!caption)
        return control;
    if constexpr (requires { control->setTitle(QString()); })
        control->setTitle(QString::fromLatin1(caption)); // frames
    else if constexpr (requires { control->setText(QString()); })
        control->setText(QString::fromLatin1(caption));
    return control;
}

struct OkCancel
{
    QPushButton* cmdOK;     // "&OK", the default button (Enter)
    QPushButton* cmdCancel; // "&Cancel"; Escape reaches it through the dialog's reject()
    QHBoxLayout* row;       // both at the right
};
OkCancel OkCancelButtons(QDialog* dialog);
