// The hearing's time line: one tick per annotation, the recording position and the playhead.
#pragma once

#include <QWidget>

#include <optional>
#include <vector>

namespace orvane {

class Timeline : public QWidget {
    Q_OBJECT

  public:
    explicit Timeline(QWidget* parent = nullptr);

    // Seconds since midnight.
    void setRange(int first, int last);
    // One tick per annotation; the ticks are kept in time order.
    void setMarks(std::vector<int> seconds);
    void addMark(int second);
    // Removes one tick at that second (none when there is none).
    void removeMark(int second);
    const std::vector<int>& marks() const { return marks_; }
    void setRecordingPosition(std::optional<int> second);
    void setPlayhead(std::optional<int> second);
    std::optional<int> playhead() const { return playhead_; }

    QSize sizeHint() const override { return {600, 46}; }
    QSize minimumSizeHint() const override { return {200, 46}; }

  signals:
    // The user clicked the line at that second.
    void seek(int second);

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;

  private:
    QRect bar() const;
    int xOf(int second) const;

    int first_ = 0, last_ = 3600;
    std::vector<int> marks_;
    std::optional<int> recording_, playhead_;
};

} // namespace orvane
