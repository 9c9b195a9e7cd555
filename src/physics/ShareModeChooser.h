#pragma once
// Whether a large world's steps are shared out among the threads or run on the calling thread
// alone, chosen on the time the steps took. On an idle machine sharing is faster; on a busy
// one a thread of the step may wait for a core in the middle of its share, and the others wait
// for it at the end of the phase, so that sharing can be slower than one thread. Now and then
// a few steps try the other way (after a couple of steps to move the data between the cores'
// caches), and the faster way is kept; a way that keeps winning is tried against less and less
// often. Either way gives the same results, only their time differs.

class ShareModeChooser {
public:
    /// Steps of a trial whose time is compared with the kept way's average since the last trial.
    static constexpr int kWindow = 16;
    /// Steps of a trial that are not counted, while the data moves between the caches.
    static constexpr int kWarmup = 2;
    /// Steps between two trials after a change of way, and at most.
    static constexpr int kFirstInterval = 256;
    static constexpr int kLongestInterval = 8192;
    /// The other way is taken when its steps took less than this fraction of the time (a
    /// trial's few steps vary by several per cent on an idle machine).
    static constexpr double kMargin = 0.9;

    /// Whether the next step is shared out.
    bool Shared() const { return trial_ ? !shared_ : shared_; }
    /// Notes how long a step run the way Shared() gave took, s.
    void NoteStep(double seconds);
    /// How often the way changed.
    int Changes() const { return changes_; }

private:
    bool shared_ = true;
    bool trial_ = false;
    /// The kept way's steps since the last trial, and their seconds.
    int keptSteps_ = 0;
    double keptSeconds_ = 0.0;
    /// The trial's steps (below zero in its warm-up) and their seconds.
    int steps_ = 0;
    double seconds_ = 0.0;
    int interval_ = kFirstInterval;
    int untilTrial_ = kFirstInterval;
    int changes_ = 0;
};
