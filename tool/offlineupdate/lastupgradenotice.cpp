#include "lastupgradenotice.h"

#include "builtinicons.h"
#include "detailsdisclosure.h"
#include "fontsizemanager.h"
#include "historyentry.h"
#include "historytext.h"
#include "label.h"

#include <QHBoxLayout>
#include <QLocale>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int IconSize = 32;

} // namespace

LastUpgradeNotice::LastUpgradeNotice(QWidget *parent)
    : QFrame(parent)
    , m_icon(new QLabel(this))
    , m_title(new Karvo::Label(this))
    , m_message(new Karvo::Label(this))
    , m_details(new DetailsDisclosure(this))
    , m_dismiss(new QPushButton(tr("Dismiss"), this))
{
    setObjectName(QStringLiteral("lastUpgradeNotice"));
    setAccessibleName(tr("How your last upgrade ended"));
    setFrameShape(QFrame::StyledPanel);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(12);
    m_icon->setFixedSize(IconSize, IconSize);
    layout->addWidget(m_icon, 0, Qt::AlignTop);

    auto *text = new QVBoxLayout;
    text->setSpacing(6);
    for (Karvo::Label *label : { m_title, m_message }) {
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        // Selectable by keyboard too: a screen reader user can walk through the sentences.
        label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        text->addWidget(label);
    }
    m_title->setObjectName(QStringLiteral("lastUpgradeTitle"));
    Karvo::FontSizeManager::instance()->bind(m_title, Karvo::FontSizeManager::T5);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_message->setObjectName(QStringLiteral("lastUpgradeMessage"));
    text->addWidget(m_details);
    layout->addLayout(text, 1);

    m_dismiss->setObjectName(QStringLiteral("dismissLastUpgrade"));
    connect(m_dismiss, &QPushButton::clicked, this, [this] {
        // The page's main button takes the focus, or it would be lost with the panel.
        focusNextChild();
        hide();
    });
    layout->addWidget(m_dismiss, 0, Qt::AlignTop);
    setTabOrder(m_details->toggle(), m_dismiss);
}

void LastUpgradeNotice::setEntry(const HistoryEntry &entry)
{
    const bool succeeded = entry.succeeded() && entry.reasonKey.isEmpty();
    m_icon->setPixmap(themeIcon(succeeded ? QStringLiteral("vsk_ok_tip")
                                          : QStringLiteral("vsk_warning_tip"))
                          .pixmap(IconSize, IconSize));
    m_icon->setAccessibleName(succeeded ? tr("Succeeded") : tr("Needs attention"));
    const QString when = entry.time.isValid()
        ? QLocale().toString(entry.time.toLocalTime(), QLocale::ShortFormat)
        : QString();
    m_title->setText(when.isEmpty() ? tr("Your last upgrade, from %1").arg(entry.package)
                                    : tr("Your last upgrade, from %1, ended %2")
                                          .arg(entry.package, when));
    const UserMessage outcome = HistoryText::outcome(entry);
    m_message->setText(outcome.sentence);
    m_details->setDetails(outcome.details);
}
