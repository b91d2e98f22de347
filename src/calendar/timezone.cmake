# zone table generation and lookup sources
