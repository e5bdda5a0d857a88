// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <memory>

class TComComboBox;
class TCustomComPort;
namespace Ui {
class TComSetupFrm;
}

// The modal port settings dialog: six lists bound to the port's name, rate, data bits, stop
// bits, parity and flow control.
class TComSetupFrm : public QDialog {
    Q_OBJECT

public:
    // Builds the dialog: each list takes its setting (the port list reads the machine's devices
    // now), then FormCreate runs.
    explicit TComSetupFrm(QWidget* parent = nullptr);
    ~TComSetupFrm() override;

    // The six lists, in the order of the dialog.
    TComComboBox* Combo(int number) const;

private:
    void FormCreate();

    std::unique_ptr<Ui::TComSetupFrm> ui_;
};

// The settings dialog module's start-up and shutdown: a port's ShowSettingsDialog runs this
// dialog from start-up on.
void InitializeCPortSetup();
void FinalizeCPortSetup();
