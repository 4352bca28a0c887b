#include "DialogWaiter.h"
#include "ui_DialogWaiter.h"

#include <QCloseEvent>
#include <QTimer>

namespace {
constexpr int maxDots = 3;
}

DialogWaiter::DialogWaiter(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DialogWaiter)
    , m_animationTimer(new QTimer(this))
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    connect(m_animationTimer, &QTimer::timeout, this, &DialogWaiter::animate);
}

DialogWaiter::~DialogWaiter() = default;

void DialogWaiter::showWaiting(const QString &text)
{
    m_baseText = text;
    m_dotCount = 0;
    m_animationTimer->start(1000);
    ui->label->setText(text);
    setModal(true);
    show();
}

void DialogWaiter::reject()
{
}

void DialogWaiter::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

void DialogWaiter::animate()
{
    if (m_dotCount == maxDots) {
        m_dotCount = 0;
        ui->label->setText(m_baseText);
        return;
    }
    ui->label->setText(ui->label->text() + QLatin1Char('.'));
    ++m_dotCount;
}
