#include "platform/dialog_controls.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

OkCancel OkCancelButtons(QDialog* dialog)
{
    OkCancel buttons{NamedControl<QPushButton>(dialog, "cmdOK", "&OK"),
                     NamedControl<QPushButton>(dialog, "cmdCancel", "&Cancel"), new QHBoxLayout};
    buttons.cmdOK->setDefault(true);
    buttons.row->addStretch(1);
    buttons.row->addWidget(buttons.cmdOK);
    buttons.row->addWidget(buttons.cmdCancel);
    return buttons;
}
