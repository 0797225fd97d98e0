// Placeholder for a folder without sources yet.
