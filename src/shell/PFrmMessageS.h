// A small notice window that shows one line for a while and closes by itself.
// Set MessageText and DisplayTime, then show it without waiting:
//   DisplayTime -1: stays until the caller closes it; below 1: one minute; else that many ms.
#pragma once

#include <QDialog>

class QLabel;
class QTimer;

namespace kvr {

class PFrmMessageS : public QDialog {
    Q_OBJECT
public:
    static inline QString MessageText;
    static inline qint32 DisplayTime = 0;

    explicit PFrmMessageS(QWidget* parent = nullptr);
    ~PFrmMessageS() override;

    QLabel* LblMessage;
    QLabel* LblStatus;
    QTimer* Timer1;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void unload();
};

} // namespace kvr
