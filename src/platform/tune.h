#pragma once

// Plays the tile buttons' prompt tune. play() returns at once; a play asked for while the tune
// sounds follows it, and any further ones asked for meanwhile are the same play.
class Tune {
public:
    virtual ~Tune() = default;
    virtual void play() = 0;
};
