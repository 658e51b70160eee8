// Placeholder until the inflater and decoder land.
