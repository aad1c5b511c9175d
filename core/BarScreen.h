// Bar screens: helpers shared by the frame builders and the entry points.
#ifndef LIBVEXA_X86_CORE_BARSCREEN_H
#define LIBVEXA_X86_CORE_BARSCREEN_H

// The screen's numbering of move styles: 1 and 2 swap, 3 and 4 swap, 0 and
// 5 to 8 stay, anything else becomes 0.
int BarScreenMoveStyle(int moveStyle);

#endif  // LIBVEXA_X86_CORE_BARSCREEN_H
