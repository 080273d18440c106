// SPDX-License-Identifier: GPL-3.0-or-later
// A one-line label that never asks its layout for the width of its text: what does not fit
// is elided on screen, while text(), the accessible name and the tooltip keep all of it.
#pragma once

#include <QLabel>

namespace pelmora {

class ElidedLabel final : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr, Qt::TextElideMode mode = Qt::ElideMiddle);

    QSize minimumSizeHint() const override;
    // True when the text is wider than the label, so the screen shows it shortened.
    bool elided() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::TextElideMode m_mode;
};

} // namespace pelmora
