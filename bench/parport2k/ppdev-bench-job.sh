# Sourced by the guest's init: the ppdev benchmark, ten repetitions.
/qel/bin/parport2k_ppdev_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true \
  --benchmark_min_time=0.2 --benchmark_format=console --benchmark_color=false
echo "qel-bench rc=$?"
