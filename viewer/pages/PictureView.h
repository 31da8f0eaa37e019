// The 808 x 808 picture area of a page (control 1002): shows the newest
// published display image.
#pragma once

#include <QWidget>

namespace qdx::viewer {

class DisplayImage;

class PictureView final : public QWidget {
    Q_OBJECT

public:
    // image must outlive the view.
    PictureView(DisplayImage& image, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    DisplayImage& image_;
};

}  // namespace qdx::viewer
