// PLACEHOLDER for the stand-in.
