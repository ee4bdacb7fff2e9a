#pragma once

#include <QWidget>

class QLabel;
class QToolButton;

// A "Details" button that shows or hides technical text below it: what a program said, paths
// and codes, for whoever needs them; the sentence above it is for everyone. The text can be
// selected and copied. Hidden as a whole while there is no text.
class DetailsDisclosure : public QWidget
{
    Q_OBJECT

public:
    explicit DetailsDisclosure(QWidget *parent = nullptr);

    void setDetails(const QString &details);
    QString details() const;
    bool isExpanded() const;
    void setExpanded(bool expanded);
    QToolButton *toggle() const { return m_toggle; }

signals:
    void expandedChanged(bool expanded);

private:
    QToolButton *m_toggle;
    QLabel *m_text;
};
