#pragma once

#include <cstdint>
#include <vector>

// Sample lesson movies for the demo site: one small animated SWF per catalogue lesson,
// each with its own colours, figures, motion and a title of block digits
// ("<group+1>-<item+1>"); about two in three carry a looping melody. Sizes differ from
// lesson to lesson (roughly 20 to 400 KB) so that downloads show their progress.
//
// The generator tools/make_sample_lessons writes them as
//   <folder>/server<N>/<catalogue path, GBK bytes>
// e.g. server1/erly/<GBK of 爱吃糖的老虎>.swf; the build puts <folder> at
// ${CMAKE_BINARY_DIR}/demo-lessons (target sample_lessons).
namespace pw::swf {

// The movie for lesson (group, item) of the catalogue, the same bytes on every call;
// empty when the pair is not a lesson (the groups hold 16, 10 and 6 lessons).
std::vector<std::uint8_t> MakeSampleLesson(int group, int item);

// A 320 x 240 PNG of what that lesson shows: its sky, its hill, its figures in their
// colours and its title's block digits; empty when the pair is not a lesson.
std::vector<std::uint8_t> MakeSamplePicture(int group, int item);

}  // namespace pw::swf
