"""Stand-in for the platform description module; the checkers import it and
call nothing of it."""

NAME = 'simswitch'
