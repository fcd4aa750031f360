#pragma once

#include <QWidget>

// The white band across the top of both report dialogs: a black frame, the
// apology text and the error icon at the right.
class TErrorBand : public QWidget {
public:
    static constexpr int Width = 413;
    static constexpr int Height = 51;

    TErrorBand(const QString& text, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
