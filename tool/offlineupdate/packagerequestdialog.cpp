#include "packagerequestdialog.h"

#include "builtinicons.h"
#include "label.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>

namespace {

constexpr int DialogWidth = 420;

// Paths and file names are long words: a zero-width space after each separator lets a word
// wrapped label break them rather than cut them off.
QString breakable(QString text)
{
    for (const QChar separator : { QLatin1Char('/'), QLatin1Char('-'), QLatin1Char('_'),
             QLatin1Char('.') })
        text.replace(separator, QString(separator) + QChar(0x200B));
    return text;
}

} // namespace

PackageRequestDialog::PackageRequestDialog(const QString &path, QWidget *parent)
    : Karvo::Dialog(parent)
    , m_path(path)
{
    const QFileInfo file(path);
    setIcon(themeIcon(QStringLiteral("vsk_yellow_tip")), tr("Question"));
    setTitle(tr("Check this package?"));
    setWindowTitle(title());
    setAccessibleName(title());
    setMessage(tr("Another program asks to check the offline update package \"%1\". Check it only "
                  "if you expect this package.")
                   .arg(breakable(file.fileName())));
    setWordWrapMessage(true);

    auto *folder = new Karvo::Label(
        tr("Folder: %1").arg(breakable(QDir::toNativeSeparators(file.absolutePath()))));
    folder->setWordWrap(true);
    folder->setAlignment(Qt::AlignCenter);
    folder->setTextFormat(Qt::PlainText);
    folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    addContent(folder);

    addButton(tr("Cancel"), false, ButtonNormal);
    addButton(tr("Check"), true, ButtonRecommend);
    button(CheckButton)->setFocus();
    fitToContent(DialogWidth);
}
