// MergeCookies on any two lists: the result is also left in the sent list,
// holds no pair twice, and grows past the two lists by their tidying blanks
// and one separator at most.
#include <set>

#include "http/cookies.h"
#include "http/fuzz/fuzz_pieces.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::vector<Text> pieces = FuzzPieces(data, size, 2);
  Text sent = pieces[0];
  Text received = pieces[1];
  Text merged = MergeCookies(&sent, &received);
  FuzzCheck(merged == sent);
  FuzzCheck(merged.size() <= pieces[0].size() + pieces[1].size() + 4);
  TextArray pairs = SplitText(merged, "; ");
  FuzzCheck(std::set<Text>(pairs.begin(), pairs.end()).size() == pairs.size());
  TextArray characters;
  FuzzCheck(SplitCharacters(pieces[0], &characters) == ArrayCount(characters));
  return 0;
}
