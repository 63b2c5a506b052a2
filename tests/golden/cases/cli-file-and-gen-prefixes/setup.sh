mkdir dots
