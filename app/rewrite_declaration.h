// The dictionary fix: the rule that rewrites one line of a QDL dictionary.
//
// A line that contains "!" is only lower-cased. Otherwise, a line that contains one of the type
// words "STRING", "DECIMAL", "LONG" or "BYTE" (case-sensitive, also inside longer words such as
// CSTRING or ULONG) declares a field: its label is its first word (the characters before the
// first blank, at most 32; a tab belongs to the word), and the line gets the attribute
// ",NAME('<label>')" appended after its trailing blanks are removed. Every other line is only
// lower-cased. The whole new line is lower-cased (ASCII A-Z only; every other byte, including
// the bytes of multi-byte characters, passes unchanged) and fitted to the output: cut after 255
// characters, padded with blanks. A blank is the space character only.
#pragma once

#include "common/fixed_text.h"

namespace morlan {

// Writes the rewritten form of `input` to `output`. `label` is the caller's label buffer, used
// as the working area: when the line declares a field it holds the label afterwards (original
// case, blank padded); otherwise it is left as it was.
//
// `output` may be the same object as `input`. Never fails, never allocates, touches no global
// state; safe to call from several threads on different buffers.
void RewriteDeclaration(const FixedText<255>& input, FixedText<255>& output, FixedText<32>& label);

}  // namespace morlan
