#pragma once
// Where a number stands on the tabellone: six blocks of fifteen in two columns and three rows,
// each block three rows of five. Cell n is always the number n, wherever it stands.

struct BoardPlace {
    int block = 0;  // 0..5: left and right column, top to bottom row
    int row = 0;    // 0..2 within the block
    int column = 0; // 0..4 within the block
    constexpr int blockRow() const { return block / 2; }
    constexpr int blockColumn() const { return block % 2; }
};

// n from 1 to 90.
constexpr BoardPlace boardPlace(int n)
{
    const int i = n - 1, t = i / 10, u = i % 10;
    return {(t / 3) * 2 + u / 5, t % 3, u % 5};
}
