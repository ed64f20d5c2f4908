#pragma once

namespace ovista {

// A batch loads, analyses and frees one herd after another, each a few megabytes. By default
// the C library hands freed memory back to the system and takes it again for the next herd,
// a page fault per page each time. Called once at start-up, this keeps freed memory for the
// next herd: the process holds no more than its largest herd needed.
void KeepHeapBetweenHerds();

// Called after each herd of a batch. Every hundredth call hands the freed memory that lies
// between blocks still in use back to the system: what one herd frees does not always fit
// the next one's needs, and a batch of thousands of herds would otherwise grow slowly.
void HerdFinished();

// Called when a run has no herd left to analyse, and when a batch started from the window
// ends: hands back to the system what was kept for the next herd, before the run's closing
// work (the libraries' own teardown touches pages of theirs) adds to the process's peak, or
// while the window waits.
void NoHerdLeft();

}  // namespace ovista
