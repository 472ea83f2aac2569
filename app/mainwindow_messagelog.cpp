// The one message log: a dock under the tabs, opened from the status bar's
// "Журнал" button (there whatever the lock state) or the menu, listing every
// pane's lines with their time and colour, and saved as text on request.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/messagelog.h"
#include "app/statusbarparts_p.h"
#include "app/textfiledialog.h"

#include <QAction>
#include <QBrush>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// The log's colours as the view draws them.
class ColouredLog : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::ForegroundRole) {
            const QVariant rgb = QIdentityProxyModel::data(index, MessageLog::ColourRole);
            return rgb.isValid() ? QVariant(QBrush(QColor::fromRgba(QRgb(rgb.toUInt())))) : QVariant();
        }
        return QIdentityProxyModel::data(index, role);
    }
};
}

void MainWindow::setupMessageLog()
{
    StatusBarParts *p = m_statusParts;
    p->log = new MessageLog(5000, p);
    p->log->setObjectName(QStringLiteral("messageLog"));

    auto *dock = new QDockWidget(QStringLiteral("Журнал сообщений"), this);
    dock->setObjectName(QStringLiteral("dockMessageLog"));
    auto *contents = new QWidget(dock);
    auto *view = new QListView(contents);
    view->setObjectName(QStringLiteral("listViewMessageLog"));
    auto *proxy = new ColouredLog(view);
    proxy->setSourceModel(p->log);
    view->setModel(proxy);
    view->setUniformItemSizes(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setMinimumHeight(40);
    auto *save = new QPushButton(QStringLiteral("Сохранить в файл…"), contents);
    save->setObjectName(QStringLiteral("pbSaveMessageLog"));
    auto *clear = new QPushButton(QStringLiteral("Очистить журнал"), contents);
    clear->setObjectName(QStringLiteral("pbClearMessageLog"));
    auto *hint = new QLabel(QStringLiteral("Хранятся последние %1 строк").arg(p->log->capacity()), contents);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(save);
    buttons->addWidget(clear);
    buttons->addStretch(1);
    buttons->addWidget(hint);
    auto *layout = new QVBoxLayout(contents);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->addWidget(view, 1);
    layout->addLayout(buttons);
    dock->setWidget(contents);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    dock->hide();
    p->logDock = dock;
    p->logView = view;

    QAction *toggle = dock->toggleViewAction();
    toggle->setObjectName(QStringLiteral("actionMessageLog"));
    toggle->setText(QStringLiteral("Журнал сообщений"));
    ui->menu->addAction(toggle);
    connect(p->logButton, &QToolButton::toggled, dock, &QDockWidget::setVisible);
    connect(dock, &QDockWidget::visibilityChanged, p->logButton, [p, dock] {
        p->logButton->setChecked(dock->isVisible());
    });

    // New lines scroll into view unless the engineer has scrolled up to read.
    connect(p->log, &QAbstractItemModel::rowsAboutToBeInserted, view, [view] {
        QScrollBar *sb = view->verticalScrollBar();
        view->setProperty("followEnd", sb->value() >= sb->maximum());
    });
    connect(p->log, &QAbstractItemModel::rowsInserted, view, [view] {
        if (view->property("followEnd").toBool())
            view->scrollToBottom();
    });
    connect(save, &QPushButton::clicked, this, &MainWindow::saveMessageLog);
    connect(clear, &QPushButton::clicked, p->log, &MessageLog::clear);
}

MessageLog *MainWindow::messageLog() const
{
    return m_statusParts ? m_statusParts->log : nullptr;
}

QDockWidget *MainWindow::messageLogDock() const
{
    return m_statusParts ? m_statusParts->logDock : nullptr;
}

void MainWindow::saveMessageLog()
{
    const QString suggested = QStringLiteral("tesmar_log_%1.txt")
                                  .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmmss")));
    const QString path = TextFileDialog::getSaveFileName(
        this, QStringLiteral("Сохранить журнал сообщений"), QDir::currentPath(), suggested,
        QStringLiteral("Текстовый файл (*.txt);;Все файлы (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (m_statusParts->log->save(path, &error))
        showStatusMessage(QStringLiteral("Журнал сохранен: ") + path, successColour());
    else
        reportFailure(QStringLiteral("Журнал не сохранен (%1): %2").arg(path, error));
}
