// Placeholder until the texture loaders land.
