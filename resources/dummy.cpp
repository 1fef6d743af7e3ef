// Placeholder until the clips are generated.
