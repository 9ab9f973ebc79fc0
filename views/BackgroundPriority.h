// Work that must never hold up what the user sees (the range of all values, the
// thumbnails of a study) runs on threads that give way to the one that paints.
#pragma once

// Lowers the calling thread by 10 nice steps (to 19 at most): painting, and Qt's own threads that scale
// pictures, take a core from it at once, while it still finishes when other
// programs keep every core busy (a build or a batch job, often at nice 19 itself).
void GiveWayToTheViewer();
