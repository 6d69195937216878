// Graflink filter for the scoreboard demo. Every variable of the document is a global named by
// its path with "/" replaced by "_"; whatever is left in the global goes on air.

// Team names in capitals for the lower third.
scoreboard_match_home_team = String(scoreboard_match_home_team).toUpperCase();
scoreboard_match_away_team = String(scoreboard_match_away_team).toUpperCase();

// The clock reads 67' on air.
scoreboard_match_clock = scoreboard_match_clock + "'";
