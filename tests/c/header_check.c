/* Compiled as C11: the public header's records keep their sizes and offsets. */
#include "reelka/reelka.h"

_Static_assert(sizeof(LayerContext) * REELKA_MAX_LAYERS + 8 + 600 == sizeof(SlotContext), "slot layout");
_Static_assert(offsetof(ThemeSlotSequence, slots) + 36 * sizeof(SlotContext) == sizeof(ThemeSlotSequence),
               "sequence layout");

int reelka_header_check_dummy(void) { return (int)sizeof(UserInputContext); }
