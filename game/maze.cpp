// The track segments and the walkability test.
#include "game/maze.h"

// Mirror-symmetric about x = 178. The tunnel row y = 128 runs out to x = 0 and x = 356.
const std::array<TrackSegment, 32> Maze::segments = {{
    {0, 128, 38, 128},    {38, 28, 38, 228},    {98, 68, 98, 188},    {38, 28, 78, 28},
    {78, 28, 78, 68},     {238, 28, 238, 68},   {38, 108, 98, 108},   {38, 148, 98, 148},
    {38, 228, 78, 228},   {78, 228, 78, 188},   {318, 128, 356, 128}, {318, 28, 318, 228},
    {318, 228, 278, 228}, {278, 228, 278, 188}, {258, 188, 258, 68},  {278, 68, 278, 28},
    {278, 28, 318, 28},   {318, 148, 258, 148}, {258, 108, 318, 108}, {318, 188, 38, 188},
    {38, 68, 318, 68},    {118, 68, 118, 28},   {118, 28, 238, 28},   {198, 28, 198, 68},
    {158, 28, 158, 68},   {178, 68, 178, 128},  {198, 128, 158, 128}, {118, 188, 118, 228},
    {118, 228, 238, 228}, {238, 228, 238, 188}, {198, 188, 198, 228}, {158, 228, 158, 188},
}};

Maze::Maze() {
    track.resize(trackWidth, trackHeight);
    track.fillRect(0, 0, trackWidth, trackHeight, 0);
    track.setColour(trackColour);
    for (const TrackSegment& s : segments) {
        track.drawLine(s.x1, s.y1, s.x2, s.y2);
    }
}

bool Maze::isWalkable(float x, float y) const {
    // Compare as floats first: a float far outside the int range must not be converted.
    if (!(x > -1.0f && y > -1.0f && x < float(track.width) && y < float(track.height))) {
        return false;
    }
    const int column = static_cast<int>(x), row = static_cast<int>(y);
    return track.pixels[row * track.width + column] != 0;
}
