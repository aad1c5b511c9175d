// The show-page model's check, for the upload, which holds the model's lock
// for its whole length.
#ifndef LIBVEXA_X86_API_SHOWPAGE_H
#define LIBVEXA_X86_API_SHOWPAGE_H

// With globalMember.modelLock held: true when the page set has pages, every
// page has areas, every area materials, and no internal text is empty.
bool ShowPagesFit();

#endif  // LIBVEXA_X86_API_SHOWPAGE_H
