"""A first look at korvex: price a small BTC option chain, then recover the volatilities."""

import korvex

FORWARD = 97_250.0          # BTC futures price for the expiry
TTX = 30 / 365              # 30 days to expiry, in years
DF = 0.996                  # discount factor to the settlement date
VOL = 0.55                  # flat 55 % volatility for the chain
STRIKES = [85_000.0, 90_000.0, 95_000.0, 100_000.0, 105_000.0, 110_000.0]


def main() -> None:
    print(f"BTC chain: forward {FORWARD:,.0f}, {TTX * 365:.0f} days, vol {VOL:.0%}, df {DF}")
    header = f"{'strike':>9} {'type':>4} {'value':>11} {'delta':>10} {'vega':>11} {'gamma':>11} {'binary':>8}"
    print(header)
    print("-" * len(header))
    prices = []
    for strike in STRIKES:
        for call_put in ("call", "put"):
            value = korvex.b76_fairvalue(FORWARD, strike, TTX, VOL, call_put, DF)
            delta = korvex.b76_delta(FORWARD, strike, TTX, VOL, call_put, DF)
            vega = korvex.b76_vega(FORWARD, strike, TTX, VOL, DF)
            gamma = korvex.b76_gamma(FORWARD, strike, TTX, VOL, DF)
            binary = korvex.binary_fairvalue(FORWARD, strike, TTX, VOL, call_put, DF)
            prices.append((strike, call_put, value))
            print(f"{strike:>9,.0f} {call_put:>4} {value:>11.2f} {delta:>10.3e} {vega:>11.2f} {gamma:>11.3e} {binary:>8.4f}")

    print("\nImplied volatilities recovered from those prices:")
    for strike, call_put, value in prices:
        iv = korvex.calibrate_black76_iv(TTX, FORWARD, strike, value, call_put, DF)
        print(f"{strike:>9,.0f} {call_put:>4} {iv:>8.4%}")


if __name__ == "__main__":
    main()
